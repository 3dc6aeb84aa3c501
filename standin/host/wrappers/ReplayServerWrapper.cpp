#include "src/host/ReplayServerWrapper.h"

#include "standin/host/wrappers/ImplementationObjects.h"

struct ReplayServerWrapper::Impl : standin::DerivedLevelImpl {};

// The stand-in's replay event is found by the server's address alone.
ReplayServerWrapper::ReplayServerWrapper(std::uintptr_t server, std::uintptr_t, std::uintptr_t)
    : ServerWrapper(server), pimpl(new Impl) {}
STANDIN_WRAPPER_LEVEL(ReplayServerWrapper, ServerWrapper)
