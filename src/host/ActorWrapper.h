// Any actor of the game.
#pragma once

#include <cstdint>
#include <memory>

#include "HostApi.h"
#include "ObjectWrapper.h"

/// From this class down, each class level owns an implementation object of the host's behind its own
/// pointer, which the host's special members copy and free.
class HOST_API ActorWrapper : public ObjectWrapper {
 public:
  explicit ActorWrapper(std::uintptr_t mem);
  ActorWrapper(const ActorWrapper& other);
  ActorWrapper& operator=(ActorWrapper rhs);
  ~ActorWrapper();

  /// True when no game object stands behind the handle.
  bool IsNull();

 private:
  struct Impl;
  std::unique_ptr<Impl> pimpl;
};
