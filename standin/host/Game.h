// The game the stand-in host models: which game states are on, and the balls of its events.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "src/host/HostApi.h"
#include "standin/host/GameStates.h"

namespace standin {

struct Velocity {
  float x = 0;
  float y = 0;
  float z = 0;
};

struct Ball {
  Velocity velocity;
  float explosionTime = 0;
};

/// What the game is doing: the states that are on, and the balls of its events.
struct HOST_API Game : GameStates {
  /// Gives every ball of every event this velocity, or this explosion time.
  void setVelocity(Velocity velocity);
  void setExplosionTime(float time);

  /// The balls of the local game event (free play and custom training).
  std::vector<Ball> eventBalls{Ball{}};
  /// What Count answers for the local event instead of the real number, to model a host that misreports.
  std::optional<std::int32_t> reportedBallCount;
  /// The replay's and the online match's ball; empty means the event's GetBall gives the null ball.
  std::optional<Ball> replayBall = Ball{};
  std::optional<Ball> onlineBall = Ball{};

  /// Every ball of every event.
  void forEachBall(const std::function<void(Ball&)>& visit);
  /// Whether no game state is on: the main menu.
  bool inMenu() const { return !any(); }
  /// Whether the source has a ball for a plugin to measure.
  bool hasBall(BallSource source) const;
  /// Whether a state that is on has a ball for a plugin to measure.
  bool offersBall() const;
};

}  // namespace standin
