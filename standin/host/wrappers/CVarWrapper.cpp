#include "src/host/CVarWrapper.h"

#include <utility>

#include "standin/host/Address.h"
#include "standin/host/wrappers/ImplementationObjects.h"

namespace address = standin::address;

namespace {

void bindCell(std::uintptr_t cvar, standin::Console::Cell cell) {
  standin::operation("bindTo").console.bind(address::cvarIdOf(cvar), address::slotOf(cvar), std::move(cell));
}

}  // namespace

struct CVarWrapper::Impl : standin::BaseLevelImpl {
  using BaseLevelImpl::BaseLevelImpl;
};

// The stand-in knows the plugin by the slot in the address, not by a type.
CVarWrapper::CVarWrapper(std::uintptr_t mem, std::type_index) : pimpl(new Impl(mem)) {}
STANDIN_WRAPPER(CVarWrapper)

void CVarWrapper::bindTo(std::shared_ptr<bool> cell) { bindCell(pimpl->life.address(), std::move(cell)); }
void CVarWrapper::bindTo(std::shared_ptr<float> cell) { bindCell(pimpl->life.address(), std::move(cell)); }
void CVarWrapper::bindTo(std::shared_ptr<int> cell) { bindCell(pimpl->life.address(), std::move(cell)); }

void CVarWrapper::addOnValueChanged(std::function<void(std::string, CVarWrapper)> hook) {
  std::uintptr_t self = pimpl->life.address();
  standin::operation("addOnValueChanged")
      .console.addHook(address::cvarIdOf(self), address::slotOf(self), std::move(hook));
}

bool CVarWrapper::getBoolValue() {
  return standin::operation("getBoolValue").console.boolValue(address::cvarIdOf(pimpl->life.address()));
}
