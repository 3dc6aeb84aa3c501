#include "sim/Painter.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <array>
#include <cmath>
#include <stdexcept>
#include <string>
#include <string_view>

#include "common/Quote.h"
#include "sim/OutputError.h"

namespace sim {
namespace {

using Rgb = std::array<std::uint8_t, 3>;
constexpr Rgb kBackdrop = {0x3c, 0x40, 0x46};
constexpr Rgb kCaptionBackdrop = {0x16, 0x18, 0x1c};
constexpr standin::Color kCaptionText = {0xd8, 0xdc, 0xe0, 0xff};
// FreeType refuses absurd sizes; beyond this a text would cover any screen anyway.
constexpr double kMaxPixelSize = 2048.0;
// The caption's text height, as a scale of the base size.
constexpr float kCaptionScale = 15.0f / static_cast<float>(kBasePixelSize);

Image filled(std::int32_t width, std::int32_t height, const Rgb& colour) {
  if (width <= 0 || height <= 0) throw std::invalid_argument("a picture needs a positive width and height");
  Image image{width, height, {}};
  image.rgb.resize(std::size_t(width) * height * 3);
  for (std::size_t i = 0; i < image.rgb.size(); ++i) image.rgb[i] = colour[i % 3];
  return image;
}

std::uint8_t blend(std::uint8_t under, std::uint8_t over, unsigned weight) {
  return static_cast<std::uint8_t>((under * (255 - weight) + over * weight + 127) / 255);
}

// Pixel size for one scale, or 0 when the text would not show.
FT_UInt pixelSize(float scale) {
  double size = kBasePixelSize * static_cast<double>(scale);
  if (!(size >= 1.0)) return 0;
  return static_cast<FT_UInt>(std::lround(std::min(size, kMaxPixelSize)));
}

// Antialiased, or in whole pixels, which add only the text's own colour to a picture.
enum class Edges { Smooth, Sharp };

bool sameDraw(const standin::DrawnText& a, const standin::DrawnText& b) {
  return a.text == b.text && a.color == b.color && a.position.X == b.position.X &&
         a.position.Y == b.position.Y && a.xScale == b.xScale && a.yScale == b.yScale;
}

// Draws the text `times` times over, in one pass: a pixel blended n times with weight w ends as if blended
// once with 1 - (1 - w)^n. A thousand drawables that draw the same text cost one.
void drawText(Image& image, FT_Face face, const standin::DrawnText& text, Edges edges = Edges::Smooth,
              std::size_t times = 1) {
  FT_UInt width = pixelSize(text.xScale);
  FT_UInt height = pixelSize(text.yScale);
  if (width == 0 || height == 0 || text.color[3] == 0) return;
  std::array<std::uint8_t, 256> stacked{};
  for (unsigned weight = 0; weight < stacked.size(); ++weight) {
    stacked[weight] = times == 1
                          ? static_cast<std::uint8_t>(weight)
                          : static_cast<std::uint8_t>(std::lround(
                                255.0 * (1.0 - std::pow(1.0 - weight / 255.0, static_cast<double>(times)))));
  }
  if (FT_Set_Pixel_Sizes(face, width, height) != 0) return;
  // Work in 64-bit so that positions anywhere in the 32-bit range clip instead of overflowing.
  std::int64_t penX = text.position.X;
  std::int64_t baseline = std::int64_t{text.position.Y} + (face->size->metrics.ascender >> 6);
  std::string_view rest = text.text;
  while (!rest.empty()) {
    // UTF-8, as the host's fonts read text; a byte that is not part of it shows as the replacement character.
    auto c = static_cast<unsigned char>(rest.front());
    common::Sequence sequence = c < 0x80 ? common::Sequence{1, c} : common::utf8Sequence(rest);
    if (sequence.length == 0) sequence = {1, 0xfffd};
    rest.remove_prefix(sequence.length);
    FT_Int32 load = edges == Edges::Smooth ? FT_LOAD_RENDER : FT_LOAD_RENDER | FT_LOAD_TARGET_MONO;
    if (FT_Load_Char(face, sequence.code, load) != 0) continue;
    const FT_GlyphSlot glyph = face->glyph;
    const FT_Bitmap& bitmap = glyph->bitmap;
    std::int64_t left = penX + glyph->bitmap_left;
    std::int64_t top = baseline - glyph->bitmap_top;
    for (unsigned row = 0; row < bitmap.rows; ++row) {
      std::int64_t y = top + row;
      if (y < 0 || y >= image.height) continue;
      for (unsigned column = 0; column < bitmap.width; ++column) {
        std::int64_t x = left + column;
        if (x < 0 || x >= image.width) continue;
        const unsigned char* line = bitmap.buffer + row * bitmap.pitch;
        unsigned coverage = bitmap.pixel_mode == FT_PIXEL_MODE_MONO
                                ? ((line[column / 8] >> (7 - column % 8)) & 1) * 255
                                : line[column];
        unsigned weight = stacked[coverage * text.color[3] / 255];
        std::uint8_t* pixel = &image.rgb[(static_cast<std::size_t>(y) * image.width + x) * 3];
        for (int channel = 0; channel < 3; ++channel)
          pixel[channel] = blend(pixel[channel], text.color[channel], weight);
      }
    }
    penX += glyph->advance.x >> 6;
    if (penX >= image.width) break;
  }
}

}  // namespace

Painter::Painter(const std::filesystem::path& font) {
  if (FT_Init_FreeType(&library_) != 0) throw OutputError("cannot paint pictures: FreeType does not start");
  if (FT_New_Face(library_, font.string().c_str(), 0, &face_) != 0) {
    FT_Done_FreeType(library_);
    throw OutputError("cannot paint pictures: cannot open the font " + font.string());
  }
}

Painter::~Painter() {
  FT_Done_Face(face_);
  FT_Done_FreeType(library_);
}

Image Painter::paint(Vector2 size, const std::vector<standin::DrawnText>& texts) const {
  Image image = filled(size.X, size.Y, kBackdrop);
  for (std::size_t i = 0; i < texts.size();) {
    std::size_t times = 1;
    while (i + times < texts.size() && sameDraw(texts[i], texts[i + times])) ++times;
    drawText(image, face_, texts[i], Edges::Smooth, times);
    i += times;
  }
  return image;
}

Image Painter::caption(Image picture, const std::vector<std::string>& lines) const {
  // A band of its own, joined below: no caption text can reach into the picture. Its text has sharp edges, so
  // that the band adds two colours to a frame and a GIF image keeps its others for the canvas.
  Image band = filled(picture.width, captionHeight(lines.size()), kCaptionBackdrop);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::int32_t top = kCaptionMargin + static_cast<std::int32_t>(i) * kCaptionLineHeight;
    drawText(band, face_, {lines[i], kCaptionText, {kCaptionMargin + 2, top}, kCaptionScale, kCaptionScale},
             Edges::Sharp);
  }
  picture.rgb.insert(picture.rgb.end(), band.rgb.begin(), band.rgb.end());
  picture.height += band.height;
  return picture;
}

}  // namespace sim
