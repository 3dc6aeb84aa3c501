#include "src/host/GameEventWrapper.h"

#include "standin/host/wrappers/ImplementationObjects.h"

struct GameEventWrapper::Impl : standin::DerivedLevelImpl {};

GameEventWrapper::GameEventWrapper(std::uintptr_t mem) : ActorWrapper(mem), pimpl(new Impl) {}
STANDIN_WRAPPER_LEVEL(GameEventWrapper, ActorWrapper)
