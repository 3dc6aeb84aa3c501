// The host's registry of console variables, as one plugin sees it.
#pragma once

#include <cstdint>
#include <string>

#include "CVarWrapper.h"
#include "HostApi.h"
#include "ObjectWrapper.h"

class HOST_API CVarManagerWrapper : public ObjectWrapper {
 public:
  explicit CVarManagerWrapper(std::uintptr_t address);

  /// Registers a variable. Each bound applies only when its flag is set.
  CVarWrapper registerCvar(std::string name, std::string defaultValue, std::string description,
                           bool searchable, bool hasMin, float min, bool hasMax, float max,
                           bool saveToConfig);
  CVarWrapper getCvar(std::string name);
};
