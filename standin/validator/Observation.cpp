#include "standin/validator/Observation.h"

#include <charconv>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "common/System.h"
#include "standin/host/PluginCallGuard.h"

namespace standin {
namespace {

// A kind of frame: a game state that is on, if any, and what else is arranged for it.
struct FrameKind {
  std::string_view name;
  bool GameStates::*state;
  void (*extra)(Game&);
  bool refreshes;
};

// Beyond a frame in each game state: a readout that holds, a state without its ball, and the main menu.
const FrameKind kFurtherKinds[] = {
    {"frozen while the ball explodes", &GameStates::freeplay, [](Game& game) { game.setExplosionTime(1.5f); },
     false},
    {"free play without a ball", &GameStates::freeplay, [](Game& game) { game.eventBalls.clear(); }, false},
    {"main menu", nullptr, nullptr, false},
};

template <typename Visit>
void forEachFrameKind(Visit visit) {
  for (const GameState& state : kGameStates) visit(FrameKind{state.name, state.on, nullptr, true});
  for (const FrameKind& kind : kFurtherKinds) visit(kind);
}

// Sets the game up for one kind of frame in place, so that doing so allocates nothing once done before.
void arrange(Game& game, const FrameKind& kind, const PluginProfile& profile) {
  static_cast<GameStates&>(game) = {};
  game.eventBalls.resize(1);
  game.setVelocity(profile.ball);
  game.setExplosionTime(0);
  if (kind.state != nullptr) game.*kind.state = true;
  if (kind.extra != nullptr) kind.extra(game);
}

// Every field of an observation, in order: one that is added to Observed and left out here fails to compile.
template <typename Seen>
auto fieldsOf(Seen& seen) {
  auto& [apiVersion, entriesAreExports, wrappersKept, wrappersAfterUnload, allocatingFrames,
         allocationsUnseen, systemCalls, systemCallsCutShort, systemCallsUnseen, findings] = seen;
  return std::tie(apiVersion, entriesAreExports, wrappersKept, wrappersAfterUnload, allocatingFrames,
                  allocationsUnseen, systemCalls, systemCallsCutShort, systemCallsUnseen, findings);
}

// Netstrings: each field its length, a colon and its bytes, so that no text can pass for another field.
void put(std::string& out, std::string_view field) {
  out += std::to_string(field.size());
  out += ':';
  out += field;
}
void put(std::string& out, const std::string& field) { put(out, std::string_view(field)); }
template <typename Number>
requires std::is_arithmetic_v<Number>
void put(std::string& out, Number number) { put(out, std::to_string(number)); }
void put(std::string& out, const Finding& finding) {
  put(out, static_cast<int>(finding.check));
  put(out, finding.message);
}
template <typename Item>
void put(std::string& out, const std::vector<Item>& items) {
  put(out, items.size());
  for (const Item& item : items) put(out, item);
}

struct Reader {
  std::string_view text;
  bool failed = false;

  std::string_view field() {
    std::size_t length = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), length);
    std::size_t digits = static_cast<std::size_t>(end - text.data());
    if (error != std::errc() || digits >= text.size() || text[digits] != ':' ||
        length > text.size() - digits - 1) {
      failed = true;
      return {};
    }
    std::string_view value = text.substr(digits + 1, length);
    text.remove_prefix(digits + 1 + length);
    return value;
  }

  void get(std::string& value) { value = field(); }
  template <typename Number>
  requires std::is_arithmetic_v<Number>
  void get(Number& value) {
    std::string_view digits = field();
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc() || end != digits.data() + digits.size()) failed = true;
  }
  void get(bool& value) {
    int number = 0;
    get(number);
    value = number == 1;
  }
  void get(Finding& finding) {
    int check = 0;
    get(check);
    finding.check = static_cast<Finding::Check>(check);
    get(finding.message);
  }
  template <typename Item>
  void get(std::vector<Item>& items) {
    std::size_t count = 0;
    get(count);
    for (; count > 0 && !failed; --count) get(items.emplace_back());
  }
};

}  // namespace

void loadSwitchedOn(PluginHarness& harness, const std::filesystem::path& module,
                    const PluginProfile& profile) {
  harness.load(module);
  if (harness.host.console.value(profile.switchVariable))
    harness.host.console.set(profile.switchVariable, "1");
}

void drawEveryKind(Host& host, const PluginProfile& profile) {
  forEachFrameKind([&](const FrameKind& kind) {
    arrange(host.game, kind, profile);
    host.drawFrame();
  });
}

Observed observe(PluginHarness& harness, const std::filesystem::path& module, const PluginProfile& profile,
                 AllocationCounter allocations) {
  Observed seen;
  loadSwitchedOn(harness, module, profile);
  Host& host = harness.host;
  const PluginDescriptor& descriptor = harness.plugin->descriptor();
  seen.apiVersion = descriptor.apiVersion;
  seen.entriesAreExports =
      reinterpret_cast<void*>(descriptor.createEntry) == harness.plugin->symbol("getPlugin") &&
      reinterpret_cast<void*>(descriptor.deleteEntry) == harness.plugin->symbol("deleteMe");
  host.operations.setRecording(false);
  auto frames = [&] { drawEveryKind(host, profile); };
  int wrappers = host.operations.liveWrappers();
  // The first frame of each kind sizes what the plugin keeps (the readout's text), so each is drawn once
  // before it is measured.
  frames();
  // Quiet from here on: the global-state check allocates what it finds, and asks for the working directory,
  // a system call of the host's own. The quiet span is compared as a whole instead, so that what its frames
  // change is still found.
  std::optional<PluginCallGuard> span(std::in_place, "the measured frames");
  host.setChecking(false);
  seen.allocationsUnseen = allocations.made == nullptr ? std::string(allocations.cannot) : "";
  if (allocations.made != nullptr) {
    long formatting = allocations.made();
    profile.referenceWork();
    formatting = allocations.made() - formatting;
    forEachFrameKind([&](const FrameKind& kind) {
      arrange(host.game, kind, profile);
      host.drawFrame();
      long before = allocations.made();
      host.drawFrame();
      if (allocations.made() - before > (kind.refreshes ? formatting : 0)) {
        seen.allocatingFrames.emplace_back(kind.name);
      }
    });
  }
  seen.wrappersKeptByFrames = host.operations.liveWrappers() - wrappers;
  os::SystemCallCount counted = os::countSystemCalls(frames, frames);
  seen.systemCalls = counted.numbers;
  seen.systemCallsCutShort = counted.cutShort;
  seen.systemCallsUnseen = counted.unseen;
  host.setChecking(true);
  span.reset();
  harness.plugin->unload();
  seen.findings = host.findings();
  seen.wrappersAfterUnload = host.operations.liveWrappers();
  return seen;
}

std::string encoded(const Observed& seen) {
  std::string out;
  std::apply([&](const auto&... field) { (put(out, field), ...); }, fieldsOf(seen));
  return out;
}

std::optional<Observed> decoded(const std::string& text) {
  Reader in{text};
  Observed seen;
  std::apply([&](auto&... field) { (in.get(field), ...); }, fieldsOf(seen));
  if (in.failed || !in.text.empty()) return std::nullopt;
  return seen;
}

}  // namespace standin
