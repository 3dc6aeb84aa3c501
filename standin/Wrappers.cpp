// The host library's operations as the plugin calls them, implemented on the stand-in host.
#include <utility>

#include "Address.h"
#include "ArrayWrapper.h"
#include "BallWrapper.h"
#include "CVarManagerWrapper.h"
#include "CVarWrapper.h"
#include "CanvasWrapper.h"
#include "GameWrapper.h"
#include "Host.h"
#include "ServerWrapper.h"

using standin::Host;
namespace address = standin::address;

namespace {

Host& enter(std::string_view operation) {
  Host& host = Host::active();
  host.enter(operation);
  return host;
}

void bindCell(std::uintptr_t cvar, standin::Console::Cell cell) {
  enter("bindTo").console.bind(address::cvarIdOf(cvar), address::slotOf(cvar), std::move(cell));
}

}  // namespace

ObjectWrapper::ObjectWrapper(std::uintptr_t address) : memory_address(address) {
  if (Host* host = Host::current()) host->wrapperCreated(memory_address);
}

ObjectWrapper::ObjectWrapper(const ObjectWrapper& other) : memory_address(other.memory_address) {
  if (Host* host = Host::current()) host->wrapperCreated(memory_address);
}

// In the log an assignment ends the handle's life on its old object and starts one on the new, so that every
// Created entry still pairs with a Destroyed entry of the same address.
ObjectWrapper& ObjectWrapper::operator=(const ObjectWrapper& other) {
  if (Host* host = Host::current()) {
    host->wrapperDestroyed(memory_address);
    host->wrapperCreated(other.memory_address);
  }
  memory_address = other.memory_address;
  return *this;
}

ObjectWrapper::~ObjectWrapper() {
  if (Host* host = Host::current()) host->wrapperDestroyed(memory_address);
}

ActorWrapper::ActorWrapper(std::uintptr_t address) : ObjectWrapper(address) {}

bool ActorWrapper::IsNull() const { return enter("IsNull").ballAt(memory_address) == nullptr; }

RBActorWrapper::RBActorWrapper(std::uintptr_t address) : ActorWrapper(address) {}

RBState RBActorWrapper::GetRBState() const {
  RBState state{};
  if (const standin::Ball* ball = enter("GetRBState").ballAt(memory_address)) {
    state.Values[7] = ball->velocity.x;
    state.Values[8] = ball->velocity.y;
    state.Values[9] = ball->velocity.z;
  }
  return state;
}

BallWrapper::BallWrapper(std::uintptr_t address) : RBActorWrapper(address) { enter("BallWrapper"); }

float BallWrapper::GetExplosionTime() const {
  const standin::Ball* ball = enter("GetExplosionTime").ballAt(memory_address);
  return ball != nullptr ? ball->explosionTime : 0.0f;
}

template <typename T>
ArrayWrapper<T>::ArrayWrapper(std::uintptr_t address) : ObjectWrapper(address) {}

template <typename T>
std::int32_t ArrayWrapper<T>::Count() const {
  return enter("Count").ballCount(memory_address);
}

template <typename T>
T ArrayWrapper<T>::Get(std::int32_t index) const {
  Host& host = enter("Get");
  Host::InternalScope scope(host);
  auto which = address::eventOf(memory_address);
  return T(index < 0 ? 0 : address::ball(which, static_cast<std::uint32_t>(index)));
}

// The export mark belongs here, on the one instantiation: clang-cl exports a template's members only where
// the instantiation definition itself carries it.
template class HOST_API ArrayWrapper<BallWrapper>;

ServerWrapper::ServerWrapper(std::uintptr_t address) : ObjectWrapper(address) {}

BallWrapper ServerWrapper::GetBall() const {
  Host& host = enter("GetBall");
  Host::InternalScope scope(host);
  auto which = address::eventOf(memory_address);
  return BallWrapper(host.ballCount(memory_address) > 0 ? address::ball(which, 0) : 0);
}

ArrayWrapper<BallWrapper> ServerWrapper::GetGameBalls() const {
  enter("GetGameBalls");
  return ArrayWrapper<BallWrapper>(address::ballArray(address::eventOf(memory_address)));
}

ReplayServerWrapper::ReplayServerWrapper(std::uintptr_t address) : ServerWrapper(address) {}

CanvasWrapper::CanvasWrapper(std::uintptr_t address) : ObjectWrapper(address) {}

Vector2 CanvasWrapper::GetSize() const { return enter("GetSize").canvas.size; }

void CanvasWrapper::SetColor(char red, char green, char blue, char alpha) {
  Host& host = enter("SetColor");
  if (!host.recording()) return;
  standin::CanvasOp op{.kind = standin::CanvasOp::Kind::SetColor};
  op.color = {static_cast<std::uint8_t>(red), static_cast<std::uint8_t>(green),
              static_cast<std::uint8_t>(blue), static_cast<std::uint8_t>(alpha)};
  host.canvas.ops.push_back(std::move(op));
}

void CanvasWrapper::SetPosition(Vector2 position) {
  Host& host = enter("SetPosition");
  if (host.recording())
    host.canvas.ops.push_back({.kind = standin::CanvasOp::Kind::SetPosition, .position = position});
}

void CanvasWrapper::DrawString(std::string text, float xScale, float yScale) {
  Host& host = enter("DrawString");
  if (!host.recording()) return;
  host.canvas.ops.push_back({.kind = standin::CanvasOp::Kind::DrawString,
                             .text = std::move(text),
                             .xScale = xScale,
                             .yScale = yScale});
}

CVarWrapper::CVarWrapper(std::uintptr_t address) : ObjectWrapper(address) {}

void CVarWrapper::bindTo(std::shared_ptr<bool> cell) { bindCell(memory_address, std::move(cell)); }

void CVarWrapper::bindTo(std::shared_ptr<float> cell) { bindCell(memory_address, std::move(cell)); }

void CVarWrapper::bindTo(std::shared_ptr<int> cell) { bindCell(memory_address, std::move(cell)); }

void CVarWrapper::addOnValueChanged(std::function<void(std::string, CVarWrapper)> hook) {
  enter("addOnValueChanged")
      .console.addHook(address::cvarIdOf(memory_address), address::slotOf(memory_address), std::move(hook));
}

bool CVarWrapper::getBoolValue() const {
  return enter("getBoolValue").console.boolValue(address::cvarIdOf(memory_address));
}

CVarManagerWrapper::CVarManagerWrapper(std::uintptr_t address) : ObjectWrapper(address) {}

CVarWrapper CVarManagerWrapper::registerCvar(std::string name, std::string defaultValue,
                                             std::string description, bool searchable, bool hasMin, float min,
                                             bool hasMax, float max, bool saveToConfig) {
  Host& host = enter("registerCvar");
  std::uint32_t id =
      host.console.registerCvar({std::move(name), std::move(defaultValue), std::move(description), searchable,
                                 hasMin, min, hasMax, max, saveToConfig});
  return CVarWrapper(address::cvar(address::slotOf(memory_address), id));
}

CVarWrapper CVarManagerWrapper::getCvar(std::string name) {
  Host& host = enter("getCvar");
  return CVarWrapper(address::cvar(address::slotOf(memory_address), host.console.find(name)));
}

GameWrapper::GameWrapper(std::uintptr_t address) : ObjectWrapper(address) {}

bool GameWrapper::IsInFreeplay() const { return enter("IsInFreeplay").game.freeplay; }
bool GameWrapper::IsInCustomTraining() const { return enter("IsInCustomTraining").game.training; }
bool GameWrapper::IsInReplay() const { return enter("IsInReplay").game.replay; }
bool GameWrapper::IsSpectatingInOnlineGame() const {
  return enter("IsSpectatingInOnlineGame").game.spectating;
}

ServerWrapper GameWrapper::GetGameEventAsServer() const {
  enter("GetGameEventAsServer");
  return ServerWrapper(address::event(address::Event::Local));
}

ServerWrapper GameWrapper::GetOnlineGame() const {
  enter("GetOnlineGame");
  return ServerWrapper(address::event(address::Event::Online));
}

ReplayServerWrapper GameWrapper::GetGameEventAsReplay() const {
  enter("GetGameEventAsReplay");
  return ReplayServerWrapper(address::event(address::Event::Replay));
}

void GameWrapper::RegisterDrawable(std::function<void(CanvasWrapper)> drawable) {
  enter("RegisterDrawable").registerDrawable(address::slotOf(memory_address), std::move(drawable));
}

void GameWrapper::UnregisterDrawables() {
  enter("UnregisterDrawables").unregisterDrawables(address::slotOf(memory_address));
}
