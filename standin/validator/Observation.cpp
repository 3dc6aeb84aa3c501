#include "standin/validator/Observation.h"

#include <charconv>
#include <string_view>
#include <system_error>

#include "common/System.h"
#include "standin/validator/ReferenceReadout.h"

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
void arrange(Game& game, const FrameKind& kind) {
  static_cast<GameStates&>(game) = {};
  game.eventBalls.resize(1);
  game.setVelocity(kReferenceVelocity);
  game.setExplosionTime(0);
  if (kind.state != nullptr) game.*kind.state = true;
  if (kind.extra != nullptr) kind.extra(game);
}

// Netstrings: each field its length, a colon and its bytes, so that no text can pass for another field.
void put(std::string& out, std::string_view field) {
  out += std::to_string(field.size());
  out += ':';
  out += field;
}

template <typename Number>
void putNumber(std::string& out, Number number) {
  put(out, std::to_string(number));
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
  template <typename Number>
  Number number() {
    std::string_view value = field();
    Number result{};
    auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), result);
    if (error != std::errc() || end != value.data() + value.size()) failed = true;
    return result;
  }
};

}  // namespace

void drawEveryKind(Host& host) {
  forEachFrameKind([&](const FrameKind& kind) {
    arrange(host.game, kind);
    host.drawFrame();
  });
}

Observed observe(PluginHarness& harness, const std::filesystem::path& module, AllocationCounter allocations) {
  Observed seen;
  harness.load(module);
  Host& host = harness.host;
  const PluginDescriptor& descriptor = harness.plugin->descriptor();
  seen.apiVersion = descriptor.apiVersion;
  seen.entriesAreExports =
      reinterpret_cast<void*>(descriptor.createEntry) == harness.plugin->symbol("getPlugin") &&
      reinterpret_cast<void*>(descriptor.deleteEntry) == harness.plugin->symbol("deleteMe");
  if (host.console.value("korvindel_show")) harness.show(true);
  host.operations.setRecording(false);
  auto frames = [&] { drawEveryKind(host); };
  int wrappers = host.operations.liveWrappers();
  // The first frame of each kind sizes what the plugin keeps (the readout's text), so each is drawn once
  // before it is measured.
  frames();
  // Quiet from here on: the global-state check allocates what it finds, and asks for the working directory,
  // a system call of the host's own.
  host.setChecking(false);
  seen.allocationsUnseen = allocations.made == nullptr ? std::string(allocations.cannot) : "";
  if (allocations.made != nullptr) {
    long formatting = allocations.made();
    referenceReadout(kReferenceKmh, false);
    formatting = allocations.made() - formatting;
    forEachFrameKind([&](const FrameKind& kind) {
      arrange(host.game, kind);
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
  harness.plugin->unload();
  seen.findings = host.findings();
  seen.wrappersAfterUnload = host.operations.liveWrappers();
  return seen;
}

std::string encoded(const Observed& seen) {
  std::string out;
  putNumber(out, seen.apiVersion);
  putNumber(out, seen.entriesAreExports ? 1 : 0);
  putNumber(out, seen.wrappersKeptByFrames);
  putNumber(out, seen.wrappersAfterUnload);
  putNumber(out, seen.allocatingFrames.size());
  for (const std::string& frame : seen.allocatingFrames) put(out, frame);
  put(out, seen.allocationsUnseen);
  putNumber(out, seen.systemCalls.size());
  for (long number : seen.systemCalls) putNumber(out, number);
  put(out, seen.systemCallsCutShort);
  put(out, seen.systemCallsUnseen);
  putNumber(out, seen.findings.size());
  for (const Finding& finding : seen.findings) {
    putNumber(out, static_cast<int>(finding.check));
    put(out, finding.message);
  }
  return out;
}

std::optional<Observed> decoded(const std::string& text) {
  Reader in{text};
  Observed seen;
  seen.apiVersion = in.number<std::int32_t>();
  seen.entriesAreExports = in.number<int>() == 1;
  seen.wrappersKeptByFrames = in.number<int>();
  seen.wrappersAfterUnload = in.number<int>();
  for (std::size_t n = in.number<std::size_t>(); n > 0 && !in.failed; --n) {
    seen.allocatingFrames.emplace_back(in.field());
  }
  seen.allocationsUnseen = in.field();
  for (std::size_t n = in.number<std::size_t>(); n > 0 && !in.failed; --n) {
    seen.systemCalls.push_back(in.number<long>());
  }
  seen.systemCallsCutShort = in.field();
  seen.systemCallsUnseen = in.field();
  for (std::size_t n = in.number<std::size_t>(); n > 0 && !in.failed; --n) {
    auto check = static_cast<Finding::Check>(in.number<int>());
    seen.findings.push_back({check, std::string(in.field())});
  }
  if (in.failed || !in.text.empty()) return std::nullopt;
  return seen;
}

}  // namespace standin
