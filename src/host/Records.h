// Plain records that the host hands out by value.
#pragma once

#include <cstdint>

/// A screen position or size in pixels, x (width) first.
struct Vector2 {
  std::int32_t X;
  std::int32_t Y;
};

/// A rigid body's physics state. The floats at positions 7, 8 and 9 are the linear velocity x, y, z.
struct RBState {
  float Values[16];
};

static_assert(sizeof(Vector2) == 8);
static_assert(sizeof(RBState) == 64);
