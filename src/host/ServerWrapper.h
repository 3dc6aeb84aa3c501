// A running game event with its balls: a local game, an online match, or (as a replay server) a replay.
#pragma once

#include <cstdint>
#include <memory>

#include "ArrayWrapper.h"
#include "BallWrapper.h"
#include "HostApi.h"
#include "TeamGameEventWrapper.h"

class HOST_API ServerWrapper : public TeamGameEventWrapper {
 public:
  explicit ServerWrapper(std::uintptr_t mem);
  ServerWrapper(const ServerWrapper& other);
  ServerWrapper& operator=(ServerWrapper rhs);
  ~ServerWrapper();

  /// The event's ball; the null ball when it has none.
  BallWrapper GetBall();
  ArrayWrapper<BallWrapper> GetGameBalls();

 private:
  struct Impl;
  std::unique_ptr<Impl> pimpl;
};
