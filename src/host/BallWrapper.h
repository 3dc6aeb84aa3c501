// The game's actors as the plugin sees them: actor, rigid-body actor, ball.
#pragma once

#include <cstdint>

#include "HostApi.h"
#include "ObjectWrapper.h"
#include "Records.h"

/// Any game actor; null when no game object stands behind the handle.
class HOST_API ActorWrapper : public ObjectWrapper {
 public:
  explicit ActorWrapper(std::uintptr_t address);
  bool IsNull() const;
};

/// An actor with rigid-body physics.
class HOST_API RBActorWrapper : public ActorWrapper {
 public:
  explicit RBActorWrapper(std::uintptr_t address);
  RBState GetRBState() const;
};

/// A ball. Built from address 0 it is the null ball.
class HOST_API BallWrapper : public RBActorWrapper {
 public:
  explicit BallWrapper(std::uintptr_t address);
  /// Nonzero while the ball is exploding after a goal.
  float GetExplosionTime() const;
};
