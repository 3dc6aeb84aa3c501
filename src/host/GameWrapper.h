// The game as one plugin sees it: state queries, game events and the drawable slot.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <typeindex>

#include "CanvasWrapper.h"
#include "HostApi.h"
#include "ReplayServerWrapper.h"
#include "ServerWrapper.h"

class HOST_API GameWrapper {
 public:
  GameWrapper(std::uintptr_t mem, long pluginType, std::type_index idx);
  GameWrapper(const GameWrapper& other);
  GameWrapper& operator=(GameWrapper rhs);
  ~GameWrapper();

  bool IsInFreeplay();
  bool IsInCustomTraining();
  bool IsInReplay();
  bool IsSpectatingInOnlineGame();

  ServerWrapper GetGameEventAsServer();
  ServerWrapper GetOnlineGame();
  ReplayServerWrapper GetGameEventAsReplay();

  /// The host calls the drawable with a canvas on every drawn frame until it is removed.
  void RegisterDrawable(std::function<void(CanvasWrapper)> callback);
  /// Removes every drawable that this plugin registered.
  void UnregisterDrawables();

 private:
  struct Impl;
  std::unique_ptr<Impl> pimpl;
};
