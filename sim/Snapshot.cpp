#include "Snapshot.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>

namespace sim {
namespace {

constexpr std::uint8_t kBackdrop[3] = {0x3c, 0x40, 0x46};
// FreeType refuses absurd sizes; beyond this a text would cover any screen anyway.
constexpr double kMaxPixelSize = 2048.0;

struct FreeType {
  FT_Library library = nullptr;
  FT_Face face = nullptr;

  explicit FreeType(const std::filesystem::path& font) {
    if (FT_Init_FreeType(&library) != 0) throw SnapshotError("cannot start FreeType");
    if (FT_New_Face(library, font.string().c_str(), 0, &face) != 0) {
      FT_Done_FreeType(library);
      throw SnapshotError("cannot open font " + font.string());
    }
  }
  ~FreeType() {
    FT_Done_Face(face);
    FT_Done_FreeType(library);
  }
  FreeType(const FreeType&) = delete;
  FreeType& operator=(const FreeType&) = delete;
};

std::uint8_t blend(std::uint8_t under, std::uint8_t over, unsigned weight) {
  return static_cast<std::uint8_t>((under * (255 - weight) + over * weight + 127) / 255);
}

// Pixel size for one scale, or 0 when the text would not show.
FT_UInt pixelSize(float scale) {
  double size = kBasePixelSize * static_cast<double>(scale);
  if (!(size >= 1.0)) return 0;
  return static_cast<FT_UInt>(std::lround(std::min(size, kMaxPixelSize)));
}

void drawText(Image& image, FT_Face face, const standin::DrawnText& text) {
  FT_UInt width = pixelSize(text.xScale);
  FT_UInt height = pixelSize(text.yScale);
  if (width == 0 || height == 0 || text.color[3] == 0) return;
  if (FT_Set_Pixel_Sizes(face, width, height) != 0) return;
  // Work in 64-bit so that positions anywhere in the 32-bit range clip instead of overflowing.
  std::int64_t penX = text.position.X;
  std::int64_t baseline = std::int64_t{text.position.Y} + (face->size->metrics.ascender >> 6);
  for (unsigned char c : text.text) {
    if (FT_Load_Char(face, c, FT_LOAD_RENDER) != 0) continue;
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
        unsigned coverage = bitmap.buffer[row * bitmap.pitch + column];
        unsigned weight = coverage * text.color[3] / 255;
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

Image paint(Vector2 size, const std::vector<standin::DrawnText>& texts, const std::filesystem::path& font) {
  Image image{size.X, size.Y, {}};
  if (size.X <= 0 || size.Y <= 0) throw SnapshotError("the canvas has no area");
  image.rgb.resize(std::size_t(size.X) * size.Y * 3);
  for (std::size_t i = 0; i < image.rgb.size(); ++i) image.rgb[i] = kBackdrop[i % 3];
  FreeType freetype(font);
  for (const standin::DrawnText& text : texts) drawText(image, freetype.face, text);
  return image;
}

void writePng(const Image& image, const std::filesystem::path& path) {
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.string().c_str(), "wb"), &std::fclose);
  if (!file) throw SnapshotError("cannot write " + path.string());
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
  if (info == nullptr) {
    png_destroy_write_struct(&png, nullptr);
    throw SnapshotError("cannot start libpng");
  }
  // libpng reports failure by longjmp; only plain C data lives between here and the end of the writing.
  if (setjmp(png_jmpbuf(png)) != 0) {
    png_destroy_write_struct(&png, &info);
    throw SnapshotError("cannot write " + path.string());
  }
  png_init_io(png, file.get());
  png_set_IHDR(png, info, static_cast<png_uint_32>(image.width), static_cast<png_uint_32>(image.height), 8,
               PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (std::int32_t y = 0; y < image.height; ++y) {
    png_write_row(png, const_cast<png_bytep>(image.pixel(0, y)));
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  if (std::fclose(file.release()) != 0) throw SnapshotError("cannot write " + path.string());
}

}  // namespace sim
