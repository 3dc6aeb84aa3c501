// A ball of the game.
#pragma once

#include <cstdint>
#include <memory>

#include "HostApi.h"
#include "RBActorWrapper.h"

class HOST_API BallWrapper : public RBActorWrapper {
 public:
  /// Built from address 0 it is the null ball.
  explicit BallWrapper(std::uintptr_t mem);
  BallWrapper(const BallWrapper& other);
  BallWrapper& operator=(BallWrapper rhs);
  ~BallWrapper();

  /// Nonzero while the ball is exploding after a goal.
  float GetExplosionTime();

 private:
  struct Impl;
  std::unique_ptr<Impl> pimpl;
};
