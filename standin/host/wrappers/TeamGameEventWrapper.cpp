#include "src/host/TeamGameEventWrapper.h"

#include "standin/host/wrappers/ImplementationObjects.h"

struct TeamGameEventWrapper::Impl : standin::DerivedLevelImpl {};

TeamGameEventWrapper::TeamGameEventWrapper(std::uintptr_t mem) : GameEventWrapper(mem), pimpl(new Impl) {}
STANDIN_WRAPPER_LEVEL(TeamGameEventWrapper, GameEventWrapper)
