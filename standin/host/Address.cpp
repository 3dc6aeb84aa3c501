#include "standin/host/Address.h"

namespace standin {

std::string_view address::describe(std::uintptr_t address) {
  switch (kindOf(address)) {
    case Kind::None:
      // The only wrapper a plugin makes from address 0 itself is the null ball it returns for "no ball".
      return address == 0 ? "BallWrapper" : "ObjectWrapper";
    case Kind::Game:
      return "GameWrapper";
    case Kind::CvarManager:
      return "CVarManagerWrapper";
    case Kind::Cvar:
      return "CVarWrapper";
    case Kind::Canvas:
      return "CanvasWrapper";
    case Kind::Event:
      return eventOf(address) == Event::Replay ? "ReplayServerWrapper" : "ServerWrapper";
    case Kind::BallArray:
      return "ArrayWrapper<BallWrapper>";
    case Kind::Ball:
      return "BallWrapper";
  }
  return "ObjectWrapper";
}

}  // namespace standin
