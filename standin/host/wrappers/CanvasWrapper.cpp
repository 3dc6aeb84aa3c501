#include "src/host/CanvasWrapper.h"

#include <utility>

#include "standin/host/wrappers/ImplementationObjects.h"

using standin::CanvasOp;

struct CanvasWrapper::Impl : standin::BaseLevelImpl {
  using BaseLevelImpl::BaseLevelImpl;
};

CanvasWrapper::CanvasWrapper(std::uintptr_t mem) : pimpl(new Impl(mem)) {}
STANDIN_WRAPPER(CanvasWrapper)

Vector2 CanvasWrapper::GetSize() { return standin::operation("GetSize").canvas.size; }

void CanvasWrapper::SetColor(char red, char green, char blue, char alpha) {
  standin::Host& host = standin::operation("SetColor");
  if (!host.operations.recording()) return;
  CanvasOp op{.kind = CanvasOp::Kind::SetColor};
  op.color = {static_cast<std::uint8_t>(red), static_cast<std::uint8_t>(green),
              static_cast<std::uint8_t>(blue), static_cast<std::uint8_t>(alpha)};
  host.canvas.ops.push_back(std::move(op));
}

void CanvasWrapper::SetPosition(Vector2 pos) {
  standin::Host& host = standin::operation("SetPosition");
  if (host.operations.recording())
    host.canvas.ops.push_back({.kind = CanvasOp::Kind::SetPosition, .position = pos});
}

void CanvasWrapper::DrawString(std::string text, float xScale, float yScale) {
  standin::Host& host = standin::operation("DrawString");
  if (!host.operations.recording()) return;
  host.canvas.ops.push_back(
      {.kind = CanvasOp::Kind::DrawString, .text = std::move(text), .xScale = xScale, .yScale = yScale});
}
