// Frames of the real plugin module on a quiet stand-in host, for callgrind to count the instructions of, by
// the object that runs them: the module, the standard library it calls, or the host. Nothing here is timed.
// usage: frame_instructions refreshing|frozen|formatting FRAMES
// callgrind collects inside measured() alone, after one frame of each kind has sized what the plugin keeps.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "standin/loader/PluginHarness.h"
#include "standin/validator/KorvindelProfile.h"

namespace {

volatile std::size_t formatted = 0;

// What callgrind collects: the frames, or the formatting that every refreshing frame must do at the least.
void measured(standin::Host& host, std::string_view kind, int frames) {
  for (int i = 0; i < frames; ++i) {
    if (kind == "formatting") {
      formatted = standin::referenceReadout(standin::kReferenceKmh, false).size();
    } else {
      host.drawFrame();
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::string_view kind = argc == 3 ? argv[1] : "";
  int frames = argc == 3 ? std::atoi(argv[2]) : 0;
  if ((kind != "refreshing" && kind != "frozen" && kind != "formatting") || frames <= 0) {
    std::fprintf(stderr, "usage: frame_instructions refreshing|frozen|formatting FRAMES\n");
    return 2;
  }
  standin::PluginHarness harness;
  standin::Host& host = harness.host;
  host.operations.setRecording(false);
  host.setChecking(false);
  harness.load(KORVINDEL_MODULE);
  host.console.set(standin::kKorvindel.switchVariable, "1");
  host.game.freeplay = true;
  host.game.setVelocity(standin::kReferenceVelocity);
  host.drawFrame();
  if (kind == "frozen") {
    host.game.setExplosionTime(2.5f);
    host.drawFrame();
  }
  // Called through a pointer, so that it stays a function of its own for callgrind to collect inside.
  void (*volatile run)(standin::Host&, std::string_view, int) = measured;
  run(host, kind, frames);
  return 0;
}
