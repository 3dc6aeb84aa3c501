// Plugin modules built only for the tests, from this one source. Built plain, the plugin draws one text per
// frame, behaves in every way the stand-in host checks, and leaves a mark in the console when it is unloaded.
// Built as breaks_<rule> with BREAKS_<rule> defined, it breaks exactly that rule of the validator
// (standin/ValidatorRules.def), so that each rule can be seen to fail.
#include <memory>
#include <optional>
#include <string>

#include "BakkesModPlugin.h"
#include "CVarManagerWrapper.h"
#include "CanvasWrapper.h"
#include "GameWrapper.h"

#if defined(BREAKS_changes_global_state)
#include <xmmintrin.h>
#elif defined(BREAKS_makes_a_system_call) && defined(_WIN32)
#include <windows.h>
#elif defined(BREAKS_makes_a_system_call)
#include <sched.h>
#endif

namespace {

#if defined(BREAKS_allocates_per_frame)
// Stored through a volatile pointer, so that the compiler cannot drop the allocation.
char* volatile allocation = nullptr;
#elif defined(BREAKS_calls_after_delete)
// Module-wide, destroyed when the module closes, after deleteMe.
std::shared_ptr<GameWrapper> keptGame;
struct CallsAtClose {
  ~CallsAtClose() {
    if (keptGame) keptGame->IsInFreeplay();
  }
} callsAtClose;
#endif

// Final, as the real plugin class is: its own shared handle destroys it through this type, not the base
// class.
class TestPlugin final : public BakkesMod::Plugin::BakkesModPlugin {
 public:
  ~TestPlugin() {
#if defined(BREAKS_leaves_a_drawable)
    gameWrapperPtr->RegisterDrawable([](CanvasWrapper){});
#endif
  }

  void onLoad() override {
    gameWrapperPtr->RegisterDrawable([this](CanvasWrapper canvas) { render(canvas); });
#if defined(BREAKS_calls_after_delete)
    keptGame = gameWrapperPtr;
#endif
  }

  void onUnload() override {
    cvarManagerPtr->registerCvar("test_plugin_unloaded", "1", "", false, false, 0, false, 0, false);
  }

 private:
  void render(CanvasWrapper canvas) {
    canvas.SetPosition({10, 10});
    canvas.DrawString("test", 1, 1);
#if defined(BREAKS_keeps_a_wrapper)
    kept_.emplace(canvas);
#elif defined(BREAKS_allocates_per_frame)
    allocation = new char[16];
    delete[] allocation;
#elif defined(BREAKS_changes_global_state)
    _mm_setcsr(_mm_getcsr() | 0x8040);  // flush-to-zero and denormals-are-zero
#elif defined(BREAKS_makes_a_system_call) && defined(_WIN32)
    SwitchToThread();
#elif defined(BREAKS_makes_a_system_call)
    sched_yield();
#endif
  }

#if defined(BREAKS_keeps_a_wrapper)
  std::optional<CanvasWrapper> kept_;
#endif
};

constinit PluginHandle instance;

}  // namespace

extern "C" {

PLUGIN_API PluginHandle* getPlugin() {
  if (!instance) instance = std::make_shared<TestPlugin>();
  return &instance;
}

PLUGIN_API void deleteMe() { instance.reset(); }

PLUGIN_API constinit PluginDescriptor exports = {
    kPluginApiVersion, 0, __FILE__,   "TestPlugin", "TestPlugin", "1.0",
    kFreeplayPlugin,   0, &getPlugin, &deleteMe,
};
}

namespace BakkesMod::Plugin {
BakkesModPlugin::BakkesModPlugin() = default;
BakkesModPlugin::~BakkesModPlugin() = default;
void BakkesModPlugin::onLoad() {}
void BakkesModPlugin::onUnload() {}
}  // namespace BakkesMod::Plugin
