#include "src/host/CVarManagerWrapper.h"

#include <typeinfo>
#include <utility>

#include "standin/host/Address.h"
#include "standin/host/wrappers/ImplementationObjects.h"

namespace address = standin::address;

struct CVarManagerWrapper::Impl : standin::BaseLevelImpl {
  using BaseLevelImpl::BaseLevelImpl;
};

// The stand-in knows the plugin by the slot in the address, not by a type.
CVarManagerWrapper::CVarManagerWrapper(std::uintptr_t mem, std::type_index) : pimpl(new Impl(mem)) {}
STANDIN_WRAPPER(CVarManagerWrapper)

CVarWrapper CVarManagerWrapper::registerCvar(std::string name, std::string defaultValue,
                                             std::string description, bool searchable, bool hasMin, float min,
                                             bool hasMax, float max, bool saveToConfig) {
  standin::Host& host = standin::operation("registerCvar");
  std::uint32_t id =
      host.console.registerCvar({std::move(name), std::move(defaultValue), std::move(description), searchable,
                                 hasMin, min, hasMax, max, saveToConfig});
  return CVarWrapper(address::cvar(address::slotOf(pimpl->life.address()), id), typeid(CVarWrapper));
}

CVarWrapper CVarManagerWrapper::getCvar(std::string name) {
  standin::Host& host = standin::operation("getCvar");
  return CVarWrapper(address::cvar(address::slotOf(pimpl->life.address()), host.console.idOf(name)),
                     typeid(CVarWrapper));
}
