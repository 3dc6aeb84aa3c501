#include "src/host/RBActorWrapper.h"

#include "standin/host/wrappers/ImplementationObjects.h"

struct RBActorWrapper::Impl : standin::DerivedLevelImpl {};

RBActorWrapper::RBActorWrapper(std::uintptr_t mem) : ActorWrapper(mem), pimpl(new Impl) {}
STANDIN_WRAPPER_LEVEL(RBActorWrapper, ActorWrapper)

RBState RBActorWrapper::GetRBState() {
  RBState state{};
  if (const standin::Ball* ball = standin::operation("GetRBState").ballAt(memory_address)) {
    state.LinearVelocity[0] = ball->velocity.x;
    state.LinearVelocity[1] = ball->velocity.y;
    state.LinearVelocity[2] = ball->velocity.z;
  }
  return state;
}
