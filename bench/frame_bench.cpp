// What the plugin costs per frame, with the stand-in host's call log and canvas recording switched off.
#include <benchmark/benchmark.h>

#include <optional>
#include <string>

#include "Address.h"
#include "Allocations.h"
#include "Host.h"
#include "Korvindel.h"
#include "LoadedPlugin.h"
#include "PluginSlot.h"
#include "ReferenceReadout.h"

namespace {

enum class GameState { Freeplay, Training, Replay, Spectating, Menu };

// The plugin object on a quiet stand-in host: loaded, one ball moving at the reference speed.
struct Bench {
  standin::Host host;
  Korvindel plugin;
  std::uint32_t slot = 0;
  CanvasWrapper canvas{standin::address::make(standin::address::Kind::Canvas, 1)};

  explicit Bench(GameState state) {
    host.operations.setRecording(false);
    host.setChecking(false);
    slot = standin::connectPlugin(host, plugin).id;
    plugin.onLoad();
    host.game.setVelocity(standin::kReferenceVelocity);
    host.game.freeplay = state == GameState::Freeplay;
    host.game.training = state == GameState::Training;
    host.game.replay = state == GameState::Replay;
    host.game.spectating = state == GameState::Spectating;
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
  Bench bench(GameState::Freeplay);
  bench.host.console.set("korvindel_mph", mph ? "1" : "0");
  measure(state, [&] { bench.plugin.render(bench.canvas); });
}
BENCHMARK_CAPTURE(renderRefreshing, kmh, false);
BENCHMARK_CAPTURE(renderRefreshing, mph, true);

void renderFrozen(benchmark::State& state) {
  Bench bench(GameState::Freeplay);
  bench.plugin.render(bench.canvas);
  bench.host.game.setExplosionTime(2.5f);
  measure(state, [&] { bench.plugin.render(bench.canvas); });
}
BENCHMARK(renderFrozen);

void renderNoBall(benchmark::State& state) {
  Bench bench(GameState::Menu);
  measure(state, [&] { bench.plugin.render(bench.canvas); });
}
BENCHMARK(renderNoBall);

void getBall(benchmark::State& state, GameState game) {
  Bench bench(game);
  measure(state, [&] { benchmark::DoNotOptimize(bench.plugin.getBall()); });
}
BENCHMARK_CAPTURE(getBall, freeplay, GameState::Freeplay);
BENCHMARK_CAPTURE(getBall, training, GameState::Training);
BENCHMARK_CAPTURE(getBall, replay, GameState::Replay);
BENCHMARK_CAPTURE(getBall, spectating, GameState::Spectating);
BENCHMARK_CAPTURE(getBall, menu, GameState::Menu);

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
