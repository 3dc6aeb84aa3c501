// A game event played by teams: the level between a game event and a server.
#pragma once

#include <cstdint>
#include <memory>

#include "GameEventWrapper.h"
#include "HostApi.h"

class HOST_API TeamGameEventWrapper : public GameEventWrapper {
 public:
  explicit TeamGameEventWrapper(std::uintptr_t mem);
  TeamGameEventWrapper(const TeamGameEventWrapper& other);
  TeamGameEventWrapper& operator=(TeamGameEventWrapper rhs);
  ~TeamGameEventWrapper();

 private:
  struct Impl;
  std::unique_ptr<Impl> pimpl;
};
