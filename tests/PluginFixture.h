// A stand-in host with the real plugin module loaded, and shortcuts for driving a session.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/KorvindelHarness.h"

class PluginFixture : public ::testing::Test, protected KorvindelHarness {
 protected:
  void set(std::string_view name, std::string_view value) { host.console.set(name, value); }

  /// Loads the plugin, switches the readout on and puts one resting ball into free play.
  void loadShowing() {
    load();
    show(true);
    host.game.freeplay = true;
  }

  void setVelocity(float x, float y, float z) { host.game.setVelocity({x, y, z}); }
  void setExplosion(float time) { host.game.setExplosionTime(time); }

  /// Draws one frame; returns the host operations the plugin made during it.
  std::vector<std::string_view> frame() {
    host.operations.clear();
    host.drawFrame();
    return host.operations.calls();
  }

  /// Draws one frame and returns the texts drawn on it; the log holds that frame alone.
  std::vector<std::string> frameTexts() {
    host.operations.clear();
    return KorvindelHarness::frameTexts();
  }

  /// Draws one frame and returns its one text; an empty text, and a test failure, if it drew not exactly one.
  standin::DrawnText frameText() {
    frame();
    auto drawn = host.canvas.texts();
    EXPECT_EQ(drawn.size(), 1u);
    return drawn.size() == 1 ? drawn.front() : standin::DrawnText{};
  }
};
