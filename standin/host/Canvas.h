// The canvas the stand-in host hands to drawables: the calls made on it in one frame, and the texts they
// drew.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "src/host/HostApi.h"
#include "src/host/Records.h"

namespace standin {

using Color = std::array<std::uint8_t, 4>;

/// One recorded canvas call.
struct CanvasOp {
  enum class Kind { SetColor, SetPosition, DrawString };
  Kind kind;
  Color color{};
  Vector2 position{};
  std::string text{};
  float xScale = 0;
  float yScale = 0;
};

/// A text as drawn: with the colour and position in force when DrawString was called.
struct DrawnText {
  std::string text;
  Color color;
  Vector2 position;
  float xScale;
  float yScale;
};

struct HOST_API Canvas {
  Vector2 size{1920, 1080};
  std::vector<CanvasOp> ops;

  std::vector<DrawnText> texts() const;
};

}  // namespace standin
