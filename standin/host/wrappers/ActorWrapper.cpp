#include "ActorWrapper.h"

#include "Implementation.h"

struct ActorWrapper::Impl : standin::FirstLevel {
  using FirstLevel::FirstLevel;
};

ActorWrapper::ActorWrapper(std::uintptr_t mem) : ObjectWrapper(mem), pimpl(new Impl(mem)) {}
STANDIN_WRAPPER_LEVEL(ActorWrapper, ObjectWrapper)

bool ActorWrapper::IsNull() { return standin::operation("IsNull").ballAt(memory_address) == nullptr; }
