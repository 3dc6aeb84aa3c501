// A plugin module built only for the tests: it does nothing but leave a mark that the host can see when it is
// unloaded, so that every unload path can be shown to call onUnload.
#include "BakkesModPlugin.h"
#include "CVarManagerWrapper.h"

namespace {

class TestPlugin : public BakkesMod::Plugin::BakkesModPlugin {
 public:
  void onUnload() override {
    cvarManagerPtr->registerCvar("test_plugin_unloaded", "1", "", false, false, 0, false, 0, false);
  }
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
