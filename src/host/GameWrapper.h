// The game as one plugin sees it: state queries, game events and the drawable slot.
#pragma once

#include <cstdint>
#include <functional>

#include "CanvasWrapper.h"
#include "HostApi.h"
#include "ObjectWrapper.h"
#include "ServerWrapper.h"

class HOST_API GameWrapper : public ObjectWrapper {
 public:
  explicit GameWrapper(std::uintptr_t address);

  bool IsInFreeplay() const;
  bool IsInCustomTraining() const;
  bool IsInReplay() const;
  bool IsSpectatingInOnlineGame() const;

  ServerWrapper GetGameEventAsServer() const;
  ServerWrapper GetOnlineGame() const;
  ReplayServerWrapper GetGameEventAsReplay() const;

  /// The host calls the drawable with a canvas on every drawn frame until it is removed.
  void RegisterDrawable(std::function<void(CanvasWrapper)> drawable);
  /// Removes every drawable that this plugin registered.
  void UnregisterDrawables();
};
