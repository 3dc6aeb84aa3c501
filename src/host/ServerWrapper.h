// A running game event (a local game, a replay or an online match).
#pragma once

#include <cstdint>

#include "ArrayWrapper.h"
#include "BallWrapper.h"
#include "HostApi.h"
#include "ObjectWrapper.h"

class HOST_API ServerWrapper : public ObjectWrapper {
 public:
  explicit ServerWrapper(std::uintptr_t address);
  /// The event's ball; the null ball when it has none.
  BallWrapper GetBall() const;
  ArrayWrapper<BallWrapper> GetGameBalls() const;
};

/// The event of a replay being watched.
class HOST_API ReplayServerWrapper : public ServerWrapper {
 public:
  explicit ReplayServerWrapper(std::uintptr_t address);
};
