// An RGB picture, row by row from the top: what the simulator paints and writes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sim {

/// An RGB picture, row by row from the top.
struct Image {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::vector<std::uint8_t> rgb;

  const std::uint8_t* pixel(std::int32_t x, std::int32_t y) const {
    return &rgb[(std::size_t(y) * width + x) * 3];
  }
};

}  // namespace sim
