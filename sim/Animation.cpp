#include "Animation.h"

#include <gif_lib.h>

#include <algorithm>
#include <array>
#include <map>
#include <memory>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

namespace sim {
namespace {

// The part of a frame to store: everything on the first frame, the changed pixels' bounding box after it.
struct Rect {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
};

Rect changedRect(const Image& previous, const Image& current) {
  std::int32_t left = current.width, right = -1, top = current.height, bottom = -1;
  for (std::int32_t y = 0; y < current.height; ++y) {
    for (std::int32_t x = 0; x < current.width; ++x) {
      if (std::equal(current.pixel(x, y), current.pixel(x, y) + 3, previous.pixel(x, y))) continue;
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

// A GIF image has at most 256 colours. Antialiased text in one colour over a flat backdrop rarely needs more;
// when it does, colours are coarsened a bit at a time until they fit.
std::map<std::uint32_t, GifPixelType> palette(const Image& image, const Rect& rect, int& dropBits) {
  for (dropBits = 0;; ++dropBits) {
    std::map<std::uint32_t, GifPixelType> colours;
    bool fits = true;
    for (std::int32_t y = rect.top; y < rect.top + rect.height && fits; ++y) {
      for (std::int32_t x = rect.left; x < rect.left + rect.width; ++x) {
        colours.emplace(colourAt(image, x, y, dropBits), 0);
        if (colours.size() > 256) {
          fits = false;
          break;
        }
      }
    }
    if (fits) {
      GifPixelType index = 0;
      for (auto& [colour, slot] : colours) slot = index++;
      return colours;
    }
  }
}

std::string gifError(int code) {
  const char* text = GifErrorString(code);
  return text != nullptr ? text : "error " + std::to_string(code);
}

// giflib writes through this, so the file is ours: opened like any other output and closed with a check.
int writeToFile(GifFileType* gif, const GifByteType* data, int length) {
  return static_cast<int>(
      std::fwrite(data, 1, static_cast<std::size_t>(length), static_cast<std::FILE*>(gif->UserData)));
}

}  // namespace

Animation::Animation(std::filesystem::path path)
    : path_(std::move(path)), file_(std::fopen(path_.string().c_str(), "wb"), &std::fclose) {
  if (!file_) throw SnapshotError("cannot write " + path_.string());
  int error = 0;
  gif_ = EGifOpen(file_.get(), &writeToFile, &error);
  if (gif_ == nullptr) throw SnapshotError("cannot write " + path_.string() + ": " + gifError(error));
  EGifSetGifVersion(gif_, true);
}

Animation::~Animation() {
  if (gif_ == nullptr) return;
  EGifCloseFile(gif_, nullptr);
  file_.reset();
  std::error_code ignored;
  if (frames_ == 0) std::filesystem::remove(path_, ignored);
}

void Animation::start(std::int32_t width, std::int32_t height) {
  if (EGifPutScreenDesc(gif_, width, height, 8, 0, nullptr) == GIF_ERROR) {
    throw SnapshotError("cannot write " + path_.string() + ": " + gifError(gif_->Error));
  }
  // The application extension that tells viewers to loop forever (a repeat count of 0).
  static constexpr GifByteType kApplication[] = {'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'};
  static constexpr GifByteType kLoopForever[] = {1, 0, 0};
  if (EGifPutExtensionLeader(gif_, APPLICATION_EXT_FUNC_CODE) == GIF_ERROR ||
      EGifPutExtensionBlock(gif_, sizeof kApplication, kApplication) == GIF_ERROR ||
      EGifPutExtensionBlock(gif_, sizeof kLoopForever, kLoopForever) == GIF_ERROR ||
      EGifPutExtensionTrailer(gif_) == GIF_ERROR) {
    throw SnapshotError("cannot write " + path_.string() + ": " + gifError(gif_->Error));
  }
}

void Animation::add(const Image& frame) {
  if (gif_ == nullptr) throw SnapshotError("the recording into " + path_.string() + " is finished");
  if (!previous_) {
    start(frame.width, frame.height);
  } else if (previous_->width != frame.width || previous_->height != frame.height) {
    throw SnapshotError("the canvas changed size while recording into " + path_.string() +
                        "; end the recording with 'record stop' first");
  }
  Rect rect = previous_ ? changedRect(*previous_, frame) : Rect{0, 0, frame.width, frame.height};
  int dropBits = 0;
  std::map<std::uint32_t, GifPixelType> colours = palette(frame, rect, dropBits);

  // GIF colour tables come in powers of two, at least two entries.
  int tableSize = 2;
  while (tableSize < static_cast<int>(colours.size())) tableSize *= 2;
  std::vector<GifColorType> table(static_cast<std::size_t>(tableSize), GifColorType{0, 0, 0});
  for (const auto& [colour, index] : colours) {
    table[index] = {static_cast<GifByteType>(colour >> 16), static_cast<GifByteType>(colour >> 8),
                    static_cast<GifByteType>(colour)};
  }
  std::unique_ptr<ColorMapObject, void (*)(ColorMapObject*)> map(GifMakeMapObject(tableSize, table.data()),
                                                                 &GifFreeMapObject);
  if (!map) throw SnapshotError("cannot make a colour table for " + path_.string());

  GraphicsControlBlock control{};
  control.DisposalMode = DISPOSE_DO_NOT;
  control.DelayTime = kFrameDelay;
  control.TransparentColor = NO_TRANSPARENT_COLOR;
  std::array<GifByteType, 4> extension{};
  EGifGCBToExtension(&control, extension.data());
  if (EGifPutExtension(gif_, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(extension.size()), extension.data()) ==
          GIF_ERROR ||
      EGifPutImageDesc(gif_, rect.left, rect.top, rect.width, rect.height, false, map.get()) == GIF_ERROR) {
    throw SnapshotError("cannot write " + path_.string() + ": " + gifError(gif_->Error));
  }
  std::vector<GifPixelType> row(static_cast<std::size_t>(rect.width));
  for (std::int32_t y = rect.top; y < rect.top + rect.height; ++y) {
    for (std::int32_t x = 0; x < rect.width; ++x)
      row[x] = colours.at(colourAt(frame, rect.left + x, y, dropBits));
    if (EGifPutLine(gif_, row.data(), rect.width) == GIF_ERROR) {
      throw SnapshotError("cannot write " + path_.string() + ": " + gifError(gif_->Error));
    }
  }
  previous_ = frame;
  ++frames_;
}

void Animation::finish() {
  GifFileType* gif = std::exchange(gif_, nullptr);
  int error = 0;
  bool empty = frames_ == 0;
  bool closed = gif == nullptr || EGifCloseFile(gif, &error) == GIF_OK;
  if (std::fclose(file_.release()) != 0 && closed) {
    closed = false;
    error = E_GIF_ERR_WRITE_FAILED;
  }
  if (empty || !closed) {
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
    throw SnapshotError(empty ? "no frame was drawn while recording into " + path_.string()
                              : "cannot write " + path_.string() + ": " + gifError(error));
  }
}

}  // namespace sim
