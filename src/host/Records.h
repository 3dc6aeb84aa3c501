// Plain records that the host hands out by value.
#pragma once

#include <cstddef>
#include <cstdint>

/// A screen position or size in pixels, x (width) first.
struct Vector2 {
  std::int32_t X;
  std::int32_t Y;
};

/// A rigid body's physics state: rotation, location, linear and angular velocity, time and flag bits.
struct RBState {
  float Quaternion[4];
  float Location[3];
  float LinearVelocity[3];
  float AngularVelocity[3];
  float Time;
  std::uint32_t Flags;
};

// The velocity is the record's floats 7, 8 and 9.
static_assert(offsetof(RBState, LinearVelocity) == 7 * sizeof(float));
