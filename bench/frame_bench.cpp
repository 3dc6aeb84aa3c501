// What the plugin costs per frame, with the stand-in host's call log and canvas recording switched off.
#include <benchmark/benchmark.h>

#include <optional>
#include <string>

#include "src/Korvindel.h"
#include "standin/host/Address.h"
#include "standin/host/Host.h"
#include "standin/loader/LoadedPlugin.h"
#include "standin/loader/PluginSlot.h"
#include "standin/validator/Allocations.h"
#include "standin/validator/KorvindelProfile.h"

namespace {

// A game state that is on, or nullptr for the main menu.
using State = bool standin::GameStates::*;

// The plugin object on a quiet stand-in host: loaded, one ball moving at the reference speed.
struct Bench {
  standin::Host host;
  Korvindel plugin;
  std::uint32_t slot = 0;
  CanvasWrapper canvas{standin::address::make(standin::address::Kind::Canvas, 1)};

  explicit Bench(State state) {
    host.operations.setRecording(false);
    host.setChecking(false);
    slot = standin::connectPlugin(host, plugin).id;
    plugin.onLoad();
    host.game.setVelocity(standin::kReferenceVelocity);
    if (state != nullptr) host.game.*state = true;
  }
  ~Bench() { host.closeSlot(slot); }
};

// Runs one call per iteration and reports the heap allocations it makes.
template <typename Call>
void measure(benchmark::State& state, Call&& call) {
  long before = allocations::made();
  for (auto _ : state) call();
  state.counters["allocs"] = benchmark::Counter(static_cast<double>(allocations::made() - before),
                                                benchmark::Counter::kAvgIterations);
}

void renderRefreshing(benchmark::State& state, bool mph) {
  Bench bench(&standin::GameStates::freeplay);
  bench.host.console.set("korvindel_mph", mph ? "1" : "0");
  measure(state, [&] { bench.plugin.render(bench.canvas); });
}
BENCHMARK_CAPTURE(renderRefreshing, kmh, false);
BENCHMARK_CAPTURE(renderRefreshing, mph, true);

void renderFrozen(benchmark::State& state) {
  Bench bench(&standin::GameStates::freeplay);
  bench.plugin.render(bench.canvas);
  bench.host.game.setExplosionTime(2.5f);
  measure(state, [&] { bench.plugin.render(bench.canvas); });
}
BENCHMARK(renderFrozen);

void renderNoBall(benchmark::State& state) {
  Bench bench(nullptr);
  measure(state, [&] { bench.plugin.render(bench.canvas); });
}
BENCHMARK(renderNoBall);

void getBall(benchmark::State& state, State game) {
  Bench bench(game);
  measure(state, [&] { benchmark::DoNotOptimize(bench.plugin.getBall()); });
}
BENCHMARK_CAPTURE(getBall, freeplay, &standin::GameStates::freeplay);
BENCHMARK_CAPTURE(getBall, training, &standin::GameStates::training);
BENCHMARK_CAPTURE(getBall, replay, &standin::GameStates::replay);
BENCHMARK_CAPTURE(getBall, spectating, &standin::GameStates::spectating);
BENCHMARK_CAPTURE(getBall, menu, State{nullptr});

void formatReadout(benchmark::State& state) {
  float value = standin::kReferenceKmh;
  measure(state, [&] {
    benchmark::DoNotOptimize(value);
    benchmark::DoNotOptimize(standin::referenceReadout(value, false));
  });
}
BENCHMARK(formatReadout);

void loadCycle(benchmark::State& state) {
  standin::Host host;
  host.operations.setRecording(false);
  host.setChecking(false);
  measure(state, [&] { standin::LoadedPlugin plugin(host, KORVINDEL_MODULE); });
}
BENCHMARK(loadCycle)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
