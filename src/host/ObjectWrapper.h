// Base of the host's wrappers of game objects: the address of the object that a wrapper stands for.
#pragma once

#include <cstdint>

#include "HostApi.h"

/// The host defines only the constructor; copying one copies the address and nothing else.
class HOST_API ObjectWrapper {
 public:
  std::uintptr_t memory_address;
  explicit ObjectWrapper(std::uintptr_t mem);
};
