// The four game states in which a plugin may measure a ball: which of them are on, each state's name, and
// which event's ball it offers. The host's game, the simulator and every table of states share them.
#pragma once

#include <string_view>

#include "src/host/HostApi.h"

namespace standin {

/// Which states are on; any combination may be, none is the main menu. Exported, as the host's game that
/// derives from it is.
struct HOST_API GameStates {
  bool freeplay = false;
  bool training = false;
  bool replay = false;
  bool spectating = false;

  bool any() const { return freeplay || training || replay || spectating; }
};

/// Where a state's ball comes from: the local game event (its first ball), the replay, or the online match.
enum class BallSource { LocalEvent, Replay, OnlineMatch };

/// One state: its name in logs and pictures, its switch and its ball.
struct GameState {
  std::string_view name;
  bool GameStates::*on;
  BallSource ball;
};

/// Every state, in the order in which the plugin asks the host about them.
inline constexpr GameState kGameStates[] = {
    {"free play", &GameStates::freeplay, BallSource::LocalEvent},
    {"training", &GameStates::training, BallSource::LocalEvent},
    {"replay", &GameStates::replay, BallSource::Replay},
    {"spectating", &GameStates::spectating, BallSource::OnlineMatch},
};

}  // namespace standin
