// Writing the simulator's files so that none is ever lost or left half-written: the atomic file, and the
// rules for the targets it may replace.
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
/// Raises the signal at the nth file operation from now, before it is carried out.
void signalAt(std::uint64_t n, int signal);
/// File operations made so far.
std::uint64_t count();
}  // namespace fileops

/// A target name that the system cannot take as written (a NUL byte, or longer than the system allows). The
/// message names it and the reason.
class UnusableName : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

/// The file that writing to a target would replace or create, as the kernel resolves it: the path as written,
/// or for a link the file it names. Throws UnusableName for a name the system cannot take, and OutputError
/// for a target that is refused: a directory, a device, a FIFO, a link to nothing, a file with other names
/// (hard links, which a replacement would leave holding the old content) or a read-only file.
std::filesystem::path destinationOf(const std::filesystem::path& target);

/// Whether two destinations are one file, however each is spelled: the same name in the same folder.
bool sameDestination(const std::filesystem::path& a, const std::filesystem::path& b);

/// Removes every temporary that a file of this process holds at this moment. Safe in a signal handler: for
/// a signal that ends the process.
void removeTemporaries() noexcept;

/// A file written beside its target under a new temporary name and renamed onto it by commit, once complete
/// and flushed to the disk; a file it replaces passes its permission bits on. Until then whatever stands at
/// the target is untouched; without commit, or when a signal ends the process (see removeTemporaries), the
/// temporary is removed, and nothing else ever is.
class AtomicFile {
 public:
  /// Creates the temporary; throws as destinationOf does, or OutputError when the folder cannot be written.
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
  void create();
  void fail(const std::string& reason);
  void discard() noexcept;
  /// Takes the temporary off the list that removeTemporaries reads, once it is gone or in place.
  void forget() noexcept;

  std::filesystem::path target_;
  std::filesystem::path destination_;
  std::filesystem::path temporary_;
  std::FILE* file_ = nullptr;
  bool failed_ = false;
  std::string failure_;
};

}  // namespace sim
