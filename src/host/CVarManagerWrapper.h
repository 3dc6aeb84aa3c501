// The host's registry of console variables, as one plugin sees it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <typeindex>

#include "CVarWrapper.h"
#include "HostApi.h"

class HOST_API CVarManagerWrapper {
 public:
  CVarManagerWrapper(std::uintptr_t mem, std::type_index type);
  CVarManagerWrapper(const CVarManagerWrapper& other);
  CVarManagerWrapper& operator=(CVarManagerWrapper rhs);
  ~CVarManagerWrapper();

  /// Registers a variable. Each bound applies only when its flag is set.
  CVarWrapper registerCvar(std::string name, std::string defaultValue, std::string description,
                           bool searchable, bool hasMin, float min, bool hasMax, float max,
                           bool saveToConfig);
  CVarWrapper getCvar(std::string name);

 private:
  struct Impl;
  std::unique_ptr<Impl> pimpl;
};
