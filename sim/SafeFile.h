// Writing the simulator's files so that none is ever lost or left half-written.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace sim {

/// An output that cannot be written; the message names it and the reason.
class OutputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// Every open, write, flush, close and rename of the simulator's files passes through one seam, so that a
/// test can make any one of them fail as a full disk would.
namespace fileops {
/// Makes the nth file operation from now fail; 0 switches the fault off.
void failAt(std::uint64_t n);
/// File operations made so far.
std::uint64_t count();
}  // namespace fileops

/// The file that writing to a target would replace or create: links followed, the path made absolute. Throws
/// OutputError for a target that exists and is not a regular file (a device, a directory, a FIFO).
std::filesystem::path destinationOf(const std::filesystem::path& target);

/// A file written beside its target under a new temporary name and renamed onto it by commit, once complete
/// and flushed to the disk. Until then whatever stands at the target is untouched; without commit the
/// temporary is removed, and nothing else ever is.
class AtomicFile {
 public:
  /// Creates the temporary; throws OutputError when the target is refused or its folder cannot be written.
  explicit AtomicFile(const std::filesystem::path& target);
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  /// Appends bytes; false from the first failure on. For the C libraries' write callbacks, which must not
  /// throw.
  bool write(const void* data, std::size_t size) noexcept;
  /// Flushes, closes and renames the temporary onto the target; throws OutputError naming the first failure,
  /// the temporary removed.
  void commit();
  /// For a library that gave up writing: throws OutputError with the reason of the write that failed, or
  /// with `why` when none did. The temporary goes with this file.
  [[noreturn]] void abandon(const std::string& why) const;

  const std::filesystem::path& target() const { return target_; }
  const std::filesystem::path& destination() const { return destination_; }

 private:
  void fail(const std::string& reason);
  void discard() noexcept;

  std::filesystem::path target_;
  std::filesystem::path destination_;
  std::filesystem::path temporary_;
  std::FILE* file_ = nullptr;
  bool failed_ = false;
  std::string failure_;
};

}  // namespace sim
