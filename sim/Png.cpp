#include "sim/Png.h"

#include <png.h>

#include <utility>

#include "sim/AtomicFile.h"

namespace sim {
namespace {

// libpng reports failure by longjmp, so this frame holds only plain C data; false when the file failed. The
// reason is the file's, and the session reports it: libpng says nothing of its own.
bool encodePng(const Image& image, AtomicFile& file) {
  auto error = [](png_structp failing, png_const_charp) { png_longjmp(failing, 1); };
  auto warning = [](png_structp, png_const_charp) {};
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, error, warning);
  png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
  if (info == nullptr) {
    png_destroy_write_struct(&png, nullptr);
    return false;
  }
  if (setjmp(png_jmpbuf(png)) != 0) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  auto write = [](png_structp writing, png_bytep data, png_size_t size) {
    if (!static_cast<AtomicFile*>(png_get_io_ptr(writing))->write(data, size)) png_error(writing, "write");
  };
  // AtomicFile flushes on commit.
  auto flush = [](png_structp) {};
  png_set_write_fn(png, &file, write, flush);
  png_set_IHDR(png, info, static_cast<png_uint_32>(image.width), static_cast<png_uint_32>(image.height), 8,
               PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (std::int32_t y = 0; y < image.height; ++y) {
    png_write_row(png, const_cast<png_bytep>(image.pixel(0, y)));
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

void writePng(const Image& image, const std::filesystem::path& path, Refusal refuse) {
  AtomicFile file(path, std::move(refuse));
  if (!encodePng(image, file)) file.abandon("libpng failed");
  file.commit();
}

}  // namespace sim
