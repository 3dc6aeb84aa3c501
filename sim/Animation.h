// Recording drawn frames into an animated GIF picture.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>

#include "Snapshot.h"

struct GifFileType;

namespace sim {

/// An animated GIF written frame by frame: each frame holds only the rectangle that changed since the one
/// before, shown for a tenth of a second; the animation loops forever.
class Animation {
 public:
  /// Creates the file at once, so that an unwritable path is reported before any frame; throws
  /// SnapshotError when it cannot.
  explicit Animation(std::filesystem::path path);
  /// Without finish: closes what was written so far, which is a playable animation of those frames, or
  /// removes the file when there are none.
  ~Animation();
  Animation(const Animation&) = delete;
  Animation& operator=(const Animation&) = delete;

  /// Adds one frame. Every frame must have the size of the first; throws SnapshotError otherwise.
  void add(const Image& frame);
  /// Writes the end of the file. Throws SnapshotError, and removes the file, when no frame was added or
  /// the file cannot be completed.
  void finish();

  std::size_t frames() const { return frames_; }
  const std::filesystem::path& path() const { return path_; }

 private:
  void start(std::int32_t width, std::int32_t height);

  std::filesystem::path path_;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file_;
  GifFileType* gif_ = nullptr;
  std::optional<Image> previous_;
  std::size_t frames_ = 0;
};

/// Delay between frames in hundredths of a second.
inline constexpr int kFrameDelay = 10;

}  // namespace sim
