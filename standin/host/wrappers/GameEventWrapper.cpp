#include "GameEventWrapper.h"

#include "Implementation.h"

struct GameEventWrapper::Impl : standin::FurtherLevel {};

GameEventWrapper::GameEventWrapper(std::uintptr_t mem) : ActorWrapper(mem), pimpl(new Impl) {}
STANDIN_WRAPPER_LEVEL(GameEventWrapper, ActorWrapper)
