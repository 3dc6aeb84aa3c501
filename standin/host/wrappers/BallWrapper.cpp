#include "src/host/BallWrapper.h"

#include "standin/host/wrappers/ImplementationObjects.h"

struct BallWrapper::Impl : standin::DerivedLevelImpl {};

// Made by the plugin (the null ball), this counts as one of its host operations.
BallWrapper::BallWrapper(std::uintptr_t mem) : RBActorWrapper(mem), pimpl(new Impl) {
  standin::operation("BallWrapper");
}
STANDIN_WRAPPER_LEVEL(BallWrapper, RBActorWrapper)

float BallWrapper::GetExplosionTime() {
  const standin::Ball* ball = standin::operation("GetExplosionTime").ballAt(memory_address);
  return ball != nullptr ? ball->explosionTime : 0.0f;
}
