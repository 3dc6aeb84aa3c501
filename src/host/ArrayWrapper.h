// A host-side array of wrappers, read by count and index.
#pragma once

#include <cstdint>

#include "BallWrapper.h"
#include "HostApi.h"
#include "ObjectWrapper.h"

template <typename T>
class ArrayWrapper : public ObjectWrapper {
 public:
  explicit ArrayWrapper(std::uintptr_t address);
  std::int32_t Count() const;
  T Get(std::int32_t index) const;
};

// Users take the host's one instantiation. The host's own build makes it and marks it for export there; GCC
// and clang refuse a second mark on this declaration.
#if !defined(HOST_LIBRARY_BUILD)
extern template class HOST_API ArrayWrapper<BallWrapper>;
#endif
