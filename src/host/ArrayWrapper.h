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

extern template class HOST_API ArrayWrapper<BallWrapper>;
