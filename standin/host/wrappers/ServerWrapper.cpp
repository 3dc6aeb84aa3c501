#include "src/host/ServerWrapper.h"

#include "standin/host/Address.h"
#include "standin/host/wrappers/ImplementationObjects.h"

namespace address = standin::address;

struct ServerWrapper::Impl : standin::DerivedLevelImpl {};

ServerWrapper::ServerWrapper(std::uintptr_t mem) : TeamGameEventWrapper(mem), pimpl(new Impl) {}
STANDIN_WRAPPER_LEVEL(ServerWrapper, TeamGameEventWrapper)

BallWrapper ServerWrapper::GetBall() {
  standin::Host& host = standin::operation("GetBall");
  standin::OperationLog::InternalScope scope(host.operations);
  auto which = address::eventOf(memory_address);
  return BallWrapper(host.ballCount(memory_address) > 0 ? address::ball(which, 0) : 0);
}

ArrayWrapper<BallWrapper> ServerWrapper::GetGameBalls() {
  standin::operation("GetGameBalls");
  return ArrayWrapper<BallWrapper>(address::ballArray(address::eventOf(memory_address)));
}
