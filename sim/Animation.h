// Recording drawn frames into an animated GIF picture.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

#include "sim/AtomicFile.h"
#include "sim/Image.h"

struct GifFileType;

namespace sim {

/// An animated GIF written frame by frame: each frame holds only the rectangle that changed since the one
/// before, shown for a tenth of a second; the animation loops forever. The file is written safely (see
/// AtomicFile): the target changes only when finish succeeds.
class Animation {
 public:
  /// Starts the file beside its target at once, so that a refused or unwritable target is reported before
  /// any frame; throws OutputError when it cannot. `refuse` judges the target now and when it is replaced.
  Animation(const std::filesystem::path& target, Refusal refuse);
  /// Without a successful finish, leaves the target as it was and nothing of the recording behind.
  ~Animation();
  Animation(const Animation&) = delete;
  Animation& operator=(const Animation&) = delete;

  /// Adds one frame. Throws std::invalid_argument for a frame whose size is not the first one's, or after
  /// finish; OutputError when the file cannot be written.
  void add(const Image& frame);
  /// Completes the file and puts it in place. Throws std::invalid_argument when no frame was added or the
  /// recording is already finished, OutputError when the file cannot be written.
  void finish();

  std::size_t frames() const { return frames_; }
  const std::filesystem::path& target() const { return file_.target(); }
  const std::filesystem::path& destination() const { return file_.destination(); }

 private:
  void start(std::int32_t width, std::int32_t height);
  [[noreturn]] void failed(int gifError) const;

  AtomicFile file_;
  GifFileType* gif_ = nullptr;
  std::optional<Image> previous_;
  std::size_t frames_ = 0;
};

/// Delay between frames in hundredths of a second.
inline constexpr int kFrameDelay = 10;

}  // namespace sim
