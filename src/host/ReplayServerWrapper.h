// The event of a replay being watched, used as a server.
#pragma once

#include <cstdint>
#include <memory>

#include "HostApi.h"
#include "ServerWrapper.h"

class HOST_API ReplayServerWrapper : public ServerWrapper {
 public:
  ReplayServerWrapper(std::uintptr_t server, std::uintptr_t gameInfo, std::uintptr_t replayDirector);
  ReplayServerWrapper(const ReplayServerWrapper& other);
  ReplayServerWrapper& operator=(ReplayServerWrapper rhs);
  ~ReplayServerWrapper();

 private:
  struct Impl;
  std::unique_ptr<Impl> pimpl;
};
