// A host-side array of wrappers, read by count and index.
#pragma once

#include <cstdint>
#include <memory>

#include "BallWrapper.h"
#include "HostApi.h"

/// Not a game object itself: it owns only its implementation object.
template <typename T>
class ArrayWrapper {
 public:
  explicit ArrayWrapper(std::uintptr_t mem);
  ArrayWrapper(const ArrayWrapper& other);
  ArrayWrapper& operator=(ArrayWrapper rhs);
  ~ArrayWrapper();

  int Count();
  T Get(int index);

 private:
  struct Impl;
  std::unique_ptr<Impl> pimpl;
};

// Users take the host's one instantiation. The host's own build makes it and marks it for export there; GCC
// and clang refuse a second mark on this declaration.
#if !defined(HOST_LIBRARY_BUILD)
extern template class HOST_API ArrayWrapper<BallWrapper>;
#endif
