// What the validator is told of the plugin it judges; nothing else in the validator knows one plugin from
// another.
#pragma once

#include <string_view>

#include "standin/host/Game.h"

namespace standin {

struct PluginProfile {
  /// The console variable that switches the plugin's drawing on: set to 1 once the plugin has registered it.
  std::string_view switchVariable;
  /// The velocity of the ball in every frame the validator draws.
  Velocity ball;
  /// The least work a frame that refreshes what it draws must do (formatting its text, say): such a frame may
  /// allocate what this allocates, and no more.
  void (*referenceWork)();
};

}  // namespace standin
