#include "src/host/ActorWrapper.h"

#include "standin/host/wrappers/ImplementationObjects.h"

struct ActorWrapper::Impl : standin::BaseLevelImpl {
  using BaseLevelImpl::BaseLevelImpl;
};

ActorWrapper::ActorWrapper(std::uintptr_t mem) : ObjectWrapper(mem), pimpl(new Impl(mem)) {}
STANDIN_WRAPPER_LEVEL(ActorWrapper, ObjectWrapper)

bool ActorWrapper::IsNull() { return standin::operation("IsNull").ballAt(memory_address) == nullptr; }
