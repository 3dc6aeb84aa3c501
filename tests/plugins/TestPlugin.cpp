// Plugin modules built only for the tests, from this one source. Built plain, the plugin draws one text per
// frame, behaves in every way the stand-in host checks, and leaves a mark in the console when it is unloaded.
// Built as breaks_<rule> with BREAKS_<rule> defined, it breaks exactly that rule of the validator
// (standin/validator/ValidatorRules.def), so that each rule can be seen to fail: each way of breaking one is
// a Misbehaviour of its own below, which the plugin carries out at load, in every frame and when it is
// destroyed.
#include <memory>
#include <optional>
#include <string>

#include "BakkesModPlugin.h"
#include "CVarManagerWrapper.h"
#include "CanvasWrapper.h"
#include "GameWrapper.h"

namespace {

// What a plugin that breaks nothing does beyond drawing: nothing.
struct Behaved {
  void atLoad(const std::shared_ptr<GameWrapper>&) {}
  void inFrame(CanvasWrapper&) {}
  void atDestruction(const std::shared_ptr<GameWrapper>&) {}
};

}  // namespace

#if defined(BREAKS_crashes_in_a_frame)
namespace {
struct Misbehaviour : Behaved {
  void inFrame(CanvasWrapper&) {
    volatile int* volatile nowhere = nullptr;
    *nowhere = 1;
  }
};
}  // namespace

#elif defined(BREAKS_keeps_a_wrapper)
namespace {
struct Misbehaviour : Behaved {
  std::optional<CanvasWrapper> kept;
  void inFrame(CanvasWrapper& canvas) { kept.emplace(canvas); }
};
}  // namespace

#elif defined(BREAKS_allocates_per_frame)
namespace {
// Stored through a volatile pointer, so that the compiler cannot drop the allocation.
char* volatile allocation = nullptr;
struct Misbehaviour : Behaved {
  void inFrame(CanvasWrapper&) {
    allocation = new char[16];
    delete[] allocation;
  }
};
}  // namespace

#elif defined(BREAKS_leaves_a_drawable)
namespace {
struct Misbehaviour : Behaved {
  void atDestruction(const std::shared_ptr<GameWrapper>& game) {
    game->RegisterDrawable([](CanvasWrapper) {});
  }
};
}  // namespace

#elif defined(BREAKS_calls_after_delete)
namespace {
// Module-wide, destroyed when the module closes, after deleteMe.
std::shared_ptr<GameWrapper> keptGame;
struct CallsAtClose {
  ~CallsAtClose() {
    if (keptGame) keptGame->IsInFreeplay();
  }
} callsAtClose;
struct Misbehaviour : Behaved {
  void atLoad(const std::shared_ptr<GameWrapper>& game) { keptGame = game; }
};
}  // namespace

#elif defined(BREAKS_changes_global_state)
#include <xmmintrin.h>
namespace {
struct Misbehaviour : Behaved {
  void inFrame(CanvasWrapper&) { _mm_setcsr(_mm_getcsr() | 0x8040); }  // flush-to-zero and denormals-are-zero
};
}  // namespace

#elif defined(BREAKS_makes_a_system_call)
#if defined(_WIN32)
#include <windows.h>
#else
#include <sched.h>
#endif
namespace {
struct Misbehaviour : Behaved {
#if defined(_WIN32)
  void inFrame(CanvasWrapper&) { SwitchToThread(); }
#else
  void inFrame(CanvasWrapper&) { sched_yield(); }
#endif
};
}  // namespace

#else
namespace {
using Misbehaviour = Behaved;
}  // namespace
#endif

namespace {

// Final, as the real plugin class is: its own shared handle destroys it through this type, not the base
// class.
class TestPlugin final : public BakkesMod::Plugin::BakkesModPlugin {
 public:
  ~TestPlugin() { misbehaviour_.atDestruction(gameWrapperPtr); }

  void onLoad() override {
    gameWrapperPtr->RegisterDrawable([this](CanvasWrapper canvas) { render(canvas); });
    misbehaviour_.atLoad(gameWrapperPtr);
  }

  void onUnload() override {
    cvarManagerPtr->registerCvar("test_plugin_unloaded", "1", "", false, false, 0, false, 0, false);
  }

 private:
  void render(CanvasWrapper canvas) {
    canvas.SetPosition({10, 10});
    canvas.DrawString("test", 1, 1);
    misbehaviour_.inFrame(canvas);
  }

  Misbehaviour misbehaviour_;
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
