// Plugin modules built only for the tests, from this one source. Built plain, the plugin draws one text per
// frame, behaves in every way the stand-in host checks, and leaves a mark in the console when it is unloaded.
// Built with TEST_PLUGIN_BREAKS, it breaks exactly that one rule, so that each check can be seen to fail.
#include <memory>
#include <optional>
#include <string>

#include "BakkesModPlugin.h"
#include "CVarManagerWrapper.h"
#include "CanvasWrapper.h"
#include "GameWrapper.h"

#define BREAKS_NOTHING 0
#define KEEPS_A_WRAPPER 1
#define ALLOCATES_PER_FRAME 2
#define LEAVES_A_DRAWABLE 3
#define CALLS_AFTER_DELETE 4
#define CHANGES_GLOBAL_STATE 5
#define MAKES_A_SYSTEM_CALL 6
#if !defined(TEST_PLUGIN_BREAKS)
#define TEST_PLUGIN_BREAKS BREAKS_NOTHING
#endif

#if TEST_PLUGIN_BREAKS == CHANGES_GLOBAL_STATE
#include <xmmintrin.h>
#elif TEST_PLUGIN_BREAKS == MAKES_A_SYSTEM_CALL && defined(_WIN32)
#include <windows.h>
#elif TEST_PLUGIN_BREAKS == MAKES_A_SYSTEM_CALL
#include <sched.h>
#endif

namespace {

#if TEST_PLUGIN_BREAKS == ALLOCATES_PER_FRAME
// Stored through a volatile pointer, so that the compiler cannot drop the allocation.
char* volatile allocation = nullptr;
#elif TEST_PLUGIN_BREAKS == CALLS_AFTER_DELETE
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
#if TEST_PLUGIN_BREAKS == LEAVES_A_DRAWABLE
    gameWrapperPtr->RegisterDrawable([](CanvasWrapper){});
#endif
  }

  void onLoad() override {
    gameWrapperPtr->RegisterDrawable([this](CanvasWrapper canvas) { render(canvas); });
#if TEST_PLUGIN_BREAKS == CALLS_AFTER_DELETE
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
#if TEST_PLUGIN_BREAKS == KEEPS_A_WRAPPER
    kept_.emplace(canvas);
#elif TEST_PLUGIN_BREAKS == ALLOCATES_PER_FRAME
    allocation = new char[16];
    delete[] allocation;
#elif TEST_PLUGIN_BREAKS == CHANGES_GLOBAL_STATE
    _mm_setcsr(_mm_getcsr() | 0x8040);  // flush-to-zero and denormals-are-zero
#elif TEST_PLUGIN_BREAKS == MAKES_A_SYSTEM_CALL && defined(_WIN32)
    SwitchToThread();
#elif TEST_PLUGIN_BREAKS == MAKES_A_SYSTEM_CALL
    sched_yield();
#endif
  }

#if TEST_PLUGIN_BREAKS == KEEPS_A_WRAPPER
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
    95, 0, __FILE__, "TestPlugin", "TestPlugin", "1.0", 0x13, 0, &getPlugin, &deleteMe,
};
}

namespace BakkesMod::Plugin {
BakkesModPlugin::BakkesModPlugin() = default;
BakkesModPlugin::~BakkesModPlugin() = default;
void BakkesModPlugin::onLoad() {}
void BakkesModPlugin::onUnload() {}
}  // namespace BakkesMod::Plugin
