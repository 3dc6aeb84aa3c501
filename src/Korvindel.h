// Korvindel: a plugin that shows the ball's current speed on the game screen.
#pragma once

#include <memory>
#include <string>

#include "host/BakkesModPlugin.h"
#include "host/BallWrapper.h"
#include "host/CVarWrapper.h"
#include "host/CanvasWrapper.h"

/// The plugin object. The host creates it through getPlugin, fills the base handles and calls onLoad.
class Korvindel final : public BakkesMod::Plugin::BakkesModPlugin {
 public:
  /// Registers the console variables and, if the readout is switched on, the drawable.
  void onLoad() override;

  /// Draws the readout for the ball of the current game state; draws nothing without a ball.
  void render(CanvasWrapper canvas);
  /// The ball the readout measures in the current game state; the null ball where there is none.
  BallWrapper getBall();
  /// Hook on korvindel_show: registers one more drawable when on, removes them all when off.
  void onShowChanged(const std::string& oldValue, CVarWrapper cvar);

 private:
  std::string speedText;
  std::shared_ptr<bool> show;
  std::shared_ptr<float> xPos;
  std::shared_ptr<float> yPos;
  std::shared_ptr<float> textSize;
  std::shared_ptr<int> red;
  std::shared_ptr<int> green;
  std::shared_ptr<int> blue;
  std::shared_ptr<int> alpha;
  std::shared_ptr<bool> useMph;
};

extern "C" {
/// Returns the module's shared handle to the plugin object, creating the object on first use.
PLUGIN_API PluginHandle* getPlugin();
/// Drops the module's reference to the plugin object.
PLUGIN_API void deleteMe();
PLUGIN_API extern PluginDescriptor exports;
}
