#include "standin/host/Canvas.h"

namespace standin {

std::vector<DrawnText> Canvas::texts() const {
  std::vector<DrawnText> result;
  Color color{255, 255, 255, 255};
  Vector2 position{0, 0};
  for (const CanvasOp& op : ops) {
    switch (op.kind) {
      case CanvasOp::Kind::SetColor:
        color = op.color;
        break;
      case CanvasOp::Kind::SetPosition:
        position = op.position;
        break;
      case CanvasOp::Kind::DrawString:
        result.push_back({op.text, color, position, op.xScale, op.yScale});
        break;
    }
  }
  return result;
}

}  // namespace standin
