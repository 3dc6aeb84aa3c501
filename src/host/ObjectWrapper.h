// Base of every host wrapper: a value handle holding the address of one host object.
#pragma once

#include <cstdint>

#include "HostApi.h"

/// A handle to a host object. Copying and destroying a handle never touches the object behind it.
class HOST_API ObjectWrapper {
 public:
  explicit ObjectWrapper(std::uintptr_t address);
  ObjectWrapper(const ObjectWrapper& other);
  ObjectWrapper& operator=(const ObjectWrapper& other);
  ~ObjectWrapper();

 protected:
  std::uintptr_t memory_address;
};
