#include "sim/Animation.h"

#include <gif_lib.h>

#include <algorithm>
#include <array>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "common/Quote.h"

namespace sim {
namespace {

// The part of a frame to store: everything on the first frame, the changed pixels' bounding box after it.
struct Rect {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
};

bool unchanged(const Image* previous, const Image& current, std::int32_t x, std::int32_t y) {
  return previous != nullptr &&
         std::equal(current.pixel(x, y), current.pixel(x, y) + 3, previous->pixel(x, y));
}

Rect changedRect(const Image& previous, const Image& current) {
  std::int32_t left = current.width, right = -1, top = current.height, bottom = -1;
  for (std::int32_t y = 0; y < current.height; ++y) {
    for (std::int32_t x = 0; x < current.width; ++x) {
      if (unchanged(&previous, current, x, y)) continue;
      left = std::min(left, x);
      right = std::max(right, x);
      top = std::min(top, y);
      bottom = std::max(bottom, y);
    }
  }
  // An unchanged frame still needs an image of its own to take its place in time.
  if (right < 0) return {0, 0, 1, 1};
  return {left, top, right - left + 1, bottom - top + 1};
}

std::uint32_t colourAt(const Image& image, std::int32_t x, std::int32_t y, int dropBits) {
  const std::uint8_t* p = image.pixel(x, y);
  // Keep the top bits and put the value in the middle of the range that it now stands for.
  auto reduce = [dropBits](std::uint8_t v) -> std::uint32_t {
    if (dropBits == 0) return v;
    std::uint32_t mask = 0xffu << dropBits & 0xffu;
    return (v & mask) | (1u << (dropBits - 1));
  };
  return reduce(p[0]) << 16 | reduce(p[1]) << 8 | reduce(p[2]);
}

// Whether any pixel in the rectangle is as the frame before left it. Those are transparent: long runs of one
// index, which LZW packs well.
bool keepsAnyPixel(const Image* previous, const Image& current, const Rect& rect) {
  for (std::int32_t y = rect.top; y < rect.top + rect.height; ++y) {
    for (std::int32_t x = rect.left; x < rect.left + rect.width; ++x) {
      if (unchanged(previous, current, x, y)) return true;
    }
  }
  return false;
}

// The colours of a frame's changed pixels, each with its index, as coarse as they had to be to fit, and the
// transparent index after them where the frame keeps pixels.
struct Palette {
  std::map<std::uint32_t, GifPixelType> colours;
  int dropBits = 0;
  bool transparency = false;

  GifPixelType transparent() const { return static_cast<GifPixelType>(colours.size()); }
};

// A GIF image has at most 256 colours, one of them here the transparent index that keeps a pixel as the frame
// before left it. Antialiased text in one colour over a flat backdrop rarely needs more; when it does,
// colours are coarsened a bit at a time until they fit.
Palette palette(const Image& image, const Image* previous, const Rect& rect) {
  Palette result;
  result.transparency = keepsAnyPixel(previous, image, rect);
  const std::size_t room = result.transparency ? 255 : 256;
  for (result.dropBits = 0;; ++result.dropBits) {
    std::map<std::uint32_t, GifPixelType> colours;
    bool fits = true;
    for (std::int32_t y = rect.top; y < rect.top + rect.height && fits; ++y) {
      for (std::int32_t x = rect.left; x < rect.left + rect.width; ++x) {
        if (unchanged(previous, image, x, y)) continue;
        colours.emplace(colourAt(image, x, y, result.dropBits), 0);
        if (colours.size() > room) {
          fits = false;
          break;
        }
      }
    }
    if (fits) {
      GifPixelType index = 0;
      for (auto& [colour, slot] : colours) slot = index++;
      result.colours = std::move(colours);
      return result;
    }
  }
}

using ColourMap = std::unique_ptr<ColorMapObject, void (*)(ColorMapObject*)>;

// The palette as a GIF colour table, which comes in powers of two, at least two entries; empty without
// memory.
ColourMap colourTable(const Palette& palette) {
  int size = 2;
  while (size < static_cast<int>(palette.colours.size()) + (palette.transparency ? 1 : 0)) size *= 2;
  std::vector<GifColorType> table(static_cast<std::size_t>(size), GifColorType{0, 0, 0});
  for (const auto& [colour, index] : palette.colours) {
    table[index] = {static_cast<GifByteType>(colour >> 16), static_cast<GifByteType>(colour >> 8),
                    static_cast<GifByteType>(colour)};
  }
  return ColourMap(GifMakeMapObject(size, table.data()), &GifFreeMapObject);
}

// Writes the rectangle of the frame as one image: its delay and transparent index, then its rows. False, with
// the reason in the file's Error, when giflib cannot.
bool putImage(GifFileType* gif, const Image& frame, const Image* previous, const Rect& rect,
              const Palette& palette, ColorMapObject* map) {
  GraphicsControlBlock control{};
  control.DisposalMode = DISPOSE_DO_NOT;
  control.DelayTime = kFrameDelay;
  control.TransparentColor = palette.transparency ? palette.transparent() : NO_TRANSPARENT_COLOR;
  std::array<GifByteType, 4> extension{};
  EGifGCBToExtension(&control, extension.data());
  if (EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(extension.size()), extension.data()) ==
          GIF_ERROR ||
      EGifPutImageDesc(gif, rect.left, rect.top, rect.width, rect.height, false, map) == GIF_ERROR) {
    return false;
  }
  std::vector<GifPixelType> row(static_cast<std::size_t>(rect.width));
  for (std::int32_t y = rect.top; y < rect.top + rect.height; ++y) {
    for (std::int32_t x = 0; x < rect.width; ++x) {
      row[x] = unchanged(previous, frame, rect.left + x, y)
                   ? palette.transparent()
                   : palette.colours.at(colourAt(frame, rect.left + x, y, palette.dropBits));
    }
    if (EGifPutLine(gif, row.data(), rect.width) == GIF_ERROR) return false;
  }
  return true;
}

std::string gifError(int code) {
  const char* text = GifErrorString(code);
  return text != nullptr ? text : "error " + std::to_string(code);
}

// giflib writes through this, so that every byte goes through the file's own checks.
int writeToFile(GifFileType* gif, const GifByteType* data, int length) {
  bool written = static_cast<AtomicFile*>(gif->UserData)->write(data, static_cast<std::size_t>(length));
  return written ? length : 0;
}

std::string finishedMessage(const std::filesystem::path& target) {
  return "the recording into " + common::escape(target.string()) + " is finished";
}

}  // namespace

Animation::Animation(const std::filesystem::path& target, Refusal refuse) : file_(target, std::move(refuse)) {
  int error = 0;
  gif_ = EGifOpen(&file_, &writeToFile, &error);
  if (gif_ == nullptr) failed(error);
  EGifSetGifVersion(gif_, true);
}

Animation::~Animation() {
  // The trailer giflib writes here goes into the temporary, which the file then removes.
  if (gif_ != nullptr) EGifCloseFile(gif_, nullptr);
}

void Animation::failed(int error) const { file_.abandon(gifError(error)); }

void Animation::start(std::int32_t width, std::int32_t height) {
  if (EGifPutScreenDesc(gif_, width, height, 8, 0, nullptr) == GIF_ERROR) failed(gif_->Error);
  // The application extension that tells viewers to loop forever (a repeat count of 0).
  static constexpr GifByteType kApplication[] = {'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'};
  static constexpr GifByteType kLoopForever[] = {1, 0, 0};
  if (EGifPutExtensionLeader(gif_, APPLICATION_EXT_FUNC_CODE) == GIF_ERROR ||
      EGifPutExtensionBlock(gif_, sizeof kApplication, kApplication) == GIF_ERROR ||
      EGifPutExtensionBlock(gif_, sizeof kLoopForever, kLoopForever) == GIF_ERROR ||
      EGifPutExtensionTrailer(gif_) == GIF_ERROR) {
    failed(gif_->Error);
  }
}

void Animation::add(const Image& frame) {
  if (gif_ == nullptr) throw std::invalid_argument(finishedMessage(target()));
  if (!previous_) {
    start(frame.width, frame.height);
  } else if (previous_->width != frame.width || previous_->height != frame.height) {
    throw std::invalid_argument("a frame of another size than the first in the recording into " +
                                common::escape(target().string()));
  }
  const Image* previous = previous_ ? &*previous_ : nullptr;
  Rect rect = previous != nullptr ? changedRect(*previous, frame) : Rect{0, 0, frame.width, frame.height};
  Palette colours = palette(frame, previous, rect);
  ColourMap map = colourTable(colours);
  if (!map) failed(E_GIF_ERR_NOT_ENOUGH_MEM);
  if (!putImage(gif_, frame, previous, rect, colours, map.get())) failed(gif_->Error);
  previous_ = frame;
  ++frames_;
}

void Animation::finish() {
  if (gif_ == nullptr) throw std::invalid_argument(finishedMessage(target()));
  if (frames_ == 0) {
    throw std::invalid_argument("no frame was drawn while recording into " +
                                common::escape(target().string()));
  }
  int error = 0;
  if (EGifCloseFile(std::exchange(gif_, nullptr), &error) != GIF_OK) failed(error);
  file_.commit();
}

}  // namespace sim
