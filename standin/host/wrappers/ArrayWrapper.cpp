#include "src/host/ArrayWrapper.h"

#include "standin/host/Address.h"
#include "standin/host/wrappers/ImplementationObjects.h"

namespace address = standin::address;

template <typename T>
struct ArrayWrapper<T>::Impl : standin::BaseLevelImpl {
  using BaseLevelImpl::BaseLevelImpl;
};

template <typename T>
ArrayWrapper<T>::ArrayWrapper(std::uintptr_t mem) : pimpl(new Impl(mem)) {}

template <typename T>
ArrayWrapper<T>::ArrayWrapper(const ArrayWrapper& other) : pimpl(new Impl(*other.pimpl)) {}

template <typename T>
ArrayWrapper<T>& ArrayWrapper<T>::operator=(ArrayWrapper rhs) {
  *pimpl = *rhs.pimpl;
  return *this;
}

template <typename T>
ArrayWrapper<T>::~ArrayWrapper() = default;

template <typename T>
int ArrayWrapper<T>::Count() {
  return standin::operation("Count").ballCount(pimpl->life.address());
}

template <typename T>
T ArrayWrapper<T>::Get(int index) {
  standin::Host& host = standin::operation("Get");
  standin::OperationLog::InternalScope scope(host.operations);
  auto which = address::eventOf(pimpl->life.address());
  return T(index < 0 ? 0 : address::ball(which, static_cast<std::uint32_t>(index)));
}

// The export mark belongs here, on the one instantiation: clang-cl exports a template's members only where
// the instantiation definition itself carries it.
template class HOST_API ArrayWrapper<BallWrapper>;
