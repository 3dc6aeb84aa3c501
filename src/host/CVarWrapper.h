// One console variable of the host's registry.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <typeindex>

#include "HostApi.h"

class HOST_API CVarWrapper {
 public:
  CVarWrapper(std::uintptr_t mem, std::type_index type);
  CVarWrapper(const CVarWrapper& other);
  CVarWrapper& operator=(CVarWrapper rhs);
  ~CVarWrapper();

  /// The host stores every new value of the variable into the cell.
  void bindTo(std::shared_ptr<bool> cell);
  void bindTo(std::shared_ptr<float> cell);
  void bindTo(std::shared_ptr<int> cell);

  /// The host calls the hook with the old value's text and the variable whenever the variable is set.
  void addOnValueChanged(std::function<void(std::string, CVarWrapper)> hook);

  bool getBoolValue();

 private:
  struct Impl;
  std::unique_ptr<Impl> pimpl;
};
