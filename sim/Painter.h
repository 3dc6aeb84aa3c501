// Painting drawn frames into pictures, with a caption band that says what the frame shows.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "sim/Image.h"
#include "src/host/Records.h"
#include "standin/host/Canvas.h"

struct FT_LibraryRec_;
struct FT_FaceRec_;

namespace sim {

/// Text height in pixels at scale 1.
inline constexpr double kBasePixelSize = 24.0;
/// The caption band below the canvas: one line of text each this high, with a margin above and below.
inline constexpr std::int32_t kCaptionLineHeight = 20;
inline constexpr std::int32_t kCaptionMargin = 6;

/// The most of a caption line's text that a picture shows, in bytes: more than the widest canvas fits.
inline constexpr std::size_t kMaxCaptionText = 2048;

/// Paints pictures with one font, opened once.
class Painter {
 public:
  /// Throws OutputError when the font cannot be used.
  explicit Painter(const std::filesystem::path& font);
  ~Painter();
  Painter(const Painter&) = delete;
  Painter& operator=(const Painter&) = delete;

  /// The canvas: a neutral backdrop, then each text with its top-left corner at its position, in its colour
  /// blended by its alpha, sized by its scales and cut off at the canvas's edges. A canvas side must be
  /// positive.
  Image paint(Vector2 size, const std::vector<standin::DrawnText>& texts) const;
  /// The picture with a band added below it holding one line of text each; the picture itself is unchanged.
  Image caption(Image picture, const std::vector<std::string>& lines) const;

 private:
  FT_LibraryRec_* library_ = nullptr;
  FT_FaceRec_* face_ = nullptr;
};

/// The height of the band that caption adds for that many lines.
constexpr std::int32_t captionHeight(std::size_t lines) {
  return static_cast<std::int32_t>(lines) * kCaptionLineHeight + 2 * kCaptionMargin;
}

}  // namespace sim
