// A game event of any kind: the level between an actor and a team game.
#pragma once

#include <cstdint>
#include <memory>

#include "ActorWrapper.h"
#include "HostApi.h"

class HOST_API GameEventWrapper : public ActorWrapper {
 public:
  explicit GameEventWrapper(std::uintptr_t mem);
  GameEventWrapper(const GameEventWrapper& other);
  GameEventWrapper& operator=(GameEventWrapper rhs);
  ~GameEventWrapper();

 private:
  struct Impl;
  std::unique_ptr<Impl> pimpl;
};
