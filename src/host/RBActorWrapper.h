// An actor with rigid-body physics.
#pragma once

#include <cstdint>
#include <memory>

#include "ActorWrapper.h"
#include "HostApi.h"
#include "Records.h"

class HOST_API RBActorWrapper : public ActorWrapper {
 public:
  explicit RBActorWrapper(std::uintptr_t mem);
  RBActorWrapper(const RBActorWrapper& other);
  RBActorWrapper& operator=(RBActorWrapper rhs);
  ~RBActorWrapper();

  RBState GetRBState();

 private:
  struct Impl;
  std::unique_ptr<Impl> pimpl;
};
