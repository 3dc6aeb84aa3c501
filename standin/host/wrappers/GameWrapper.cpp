#include "src/host/GameWrapper.h"

#include <utility>

#include "standin/host/Address.h"
#include "standin/host/wrappers/ImplementationObjects.h"

namespace address = standin::address;

struct GameWrapper::Impl : standin::BaseLevelImpl {
  using BaseLevelImpl::BaseLevelImpl;
};

// The stand-in knows the plugin by the slot in the address, not by a type.
GameWrapper::GameWrapper(std::uintptr_t mem, long, std::type_index) : pimpl(new Impl(mem)) {}
STANDIN_WRAPPER(GameWrapper)

bool GameWrapper::IsInFreeplay() { return standin::operation("IsInFreeplay").game.freeplay; }
bool GameWrapper::IsInCustomTraining() { return standin::operation("IsInCustomTraining").game.training; }
bool GameWrapper::IsInReplay() { return standin::operation("IsInReplay").game.replay; }
bool GameWrapper::IsSpectatingInOnlineGame() {
  return standin::operation("IsSpectatingInOnlineGame").game.spectating;
}

ServerWrapper GameWrapper::GetGameEventAsServer() {
  standin::operation("GetGameEventAsServer");
  return ServerWrapper(address::event(address::Event::Local));
}

ServerWrapper GameWrapper::GetOnlineGame() {
  standin::operation("GetOnlineGame");
  return ServerWrapper(address::event(address::Event::Online));
}

ReplayServerWrapper GameWrapper::GetGameEventAsReplay() {
  standin::operation("GetGameEventAsReplay");
  return ReplayServerWrapper(address::event(address::Event::Replay), 0, 0);
}

void GameWrapper::RegisterDrawable(std::function<void(CanvasWrapper)> callback) {
  standin::operation("RegisterDrawable")
      .registerDrawable(address::slotOf(pimpl->life.address()), std::move(callback));
}

void GameWrapper::UnregisterDrawables() {
  standin::operation("UnregisterDrawables").unregisterDrawables(address::slotOf(pimpl->life.address()));
}
