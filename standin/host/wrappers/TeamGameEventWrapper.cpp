#include "TeamGameEventWrapper.h"

#include "Implementation.h"

struct TeamGameEventWrapper::Impl : standin::FurtherLevel {};

TeamGameEventWrapper::TeamGameEventWrapper(std::uintptr_t mem) : GameEventWrapper(mem), pimpl(new Impl) {}
STANDIN_WRAPPER_LEVEL(TeamGameEventWrapper, GameEventWrapper)
