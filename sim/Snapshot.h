// Rendering a drawn frame into a PNG picture.
#pragma once

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <vector>

#include "Host.h"

namespace sim {

class SnapshotError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// An RGB picture, row by row from the top.
struct Image {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::vector<std::uint8_t> rgb;

  const std::uint8_t* pixel(std::int32_t x, std::int32_t y) const {
    return &rgb[(std::size_t(y) * width + x) * 3];
  }
};

/// Text height in pixels at scale 1.
inline constexpr double kBasePixelSize = 24.0;

/// Paints the canvas: a neutral backdrop, then each text with its top-left corner at its position, in its
/// colour blended by its alpha, sized by its scales. Throws SnapshotError when the font cannot be used.
Image paint(Vector2 size, const std::vector<standin::DrawnText>& texts, const std::filesystem::path& font);

/// Writes the picture as a PNG file; throws SnapshotError when it cannot.
void writePng(const Image& image, const std::filesystem::path& path);

}  // namespace sim
