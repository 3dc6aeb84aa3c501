// Feeds korvindel-sim arbitrary script text: every run ends in frames or a clear error, never a crash.
#include <dlfcn.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>
#include <variant>

#include "sim/Script.h"
#include "sim/Session.h"

namespace {

// Snapshots and recordings would write files wherever the input says, and long frame runs only slow the
// search down.
bool worthRunning(const std::string& text) {
  std::istringstream lines(text);
  sim::ScriptReader reader(lines);
  std::int64_t frames = 0;
  for (std::string line; reader.next(line);) {
    try {
      auto command = sim::parseLine(line);
      if (!command) continue;
      if (sim::effectOf(*command) == sim::command::Effect::WritesAFile) return false;
      if (auto* frame = std::get_if<sim::command::Frame>(&*command)) frames += frame->count;
    } catch (const sim::ScriptError&) {
      // The run stops at this line; the frames before it still count.
      break;
    }
  }
  // Every frame is drawn, and may be painted, with the real plugin: a few dozen per input keep each run
  // short, so that the fuzzer spends its time on new paths through the script reader rather than on drawing.
  return frames <= 64;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // libFuzzer keeps the coverage counters of every instrumented module it has seen; the module must stay
  // mapped while scripts load and unload it, or the counters would point into unmapped memory.
  static void* pinned = dlopen(KORVINDEL_MODULE, RTLD_NOW | RTLD_NODELETE);
  if (pinned == nullptr) std::abort();
  std::string text(reinterpret_cast<const char*>(data), size);
  if (!worthRunning(text)) return 0;
  sim::Options options{KORVINDEL_MODULE, KORVINDEL_FONT, true, true, {}};
  std::ostringstream out;
  std::istringstream script(text);
  if (std::optional<sim::SessionError> error = sim::play(script, out, options);
      error && (error->line() == 0 || std::string(error->what()).empty())) {
    std::fprintf(stderr, "an error without a line: %s\n", error->what());
    std::abort();
  }
  return 0;
}
