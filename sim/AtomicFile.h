// Writing the simulator's files so that none is ever lost or left half-written: the atomic file, and the
// rules for the targets it may replace.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>

#include "OutputError.h"

namespace sim {

/// Every open, write, flush, close and rename of the simulator's files passes through one seam, so that a
/// test can make any one of them fail as a full disk would.
namespace fileops {
/// Makes the nth file operation from now fail; 0 switches the fault off.
void failAt(std::uint64_t n);
/// Raises the signal at the nth file operation from now, before it is carried out.
void signalAt(std::uint64_t n, int signal);
/// File operations made so far.
std::uint64_t count();
/// Whether files are written without a name where the system can (the default); off, files are written as on
/// a file system that cannot, under a temporary name.
void writeUnnamed(bool on);
/// Whether the system refuses to give a file made without a name one, as some sandboxes do (linkat fails
/// with EPERM); off by default.
void refuseNaming(bool on);
}  // namespace fileops

/// A target name that the system cannot take as written (a NUL byte, or longer than the system allows). The
/// message names it and the reason.
class UnusableName : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

/// The file that writing to a target would replace or create, as the kernel resolves it: the path as written,
/// or for a link the file it names. Throws UnusableName for a name the system cannot take, and OutputError
/// for a target that is refused: a directory, a device, a FIFO, a link to nothing, a link anywhere on its
/// path planted in a sticky folder that anyone may write by neither the folder's owner nor this user, a file
/// with other names (hard links, which a replacement would leave holding the old content) or a read-only
/// file.
std::filesystem::path destinationOf(const std::filesystem::path& target);

/// Whether two destinations are one file, however each is spelled: the same name in the same folder.
bool sameDestination(const std::filesystem::path& a, const std::filesystem::path& b);

/// A file as the system tells files apart, whatever names it has: its device and its number there.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t number = 0;
  bool operator==(const FileIdentity&) const = default;
};

/// The regular file at the path, links followed; none for anything else or nothing.
std::optional<FileIdentity> identityOf(const std::filesystem::path& path);
/// The regular file open on a standard descriptor (0, 1 or 2); none for a terminal, a pipe or a closed one.
std::optional<FileIdentity> identityOfStandard(int descriptor);

/// Removes every temporary that a file of this process holds at this moment. Safe in a signal handler: for
/// a signal that ends the process.
void removeTemporaries() noexcept;

/// What the writer of a file refuses to replace besides what destinationOf refuses: called with the target
/// and its destination, it throws OutputError for a file that must stay (the input of the run writing it,
/// say).
using Refusal =
    std::function<void(const std::filesystem::path& target, const std::filesystem::path& destination)>;

/// A file written beside its target and put in its place by commit, once complete and flushed to the disk.
/// Where the system can, it is written without a name (Linux's O_TMPFILE), which no death of the process,
/// SIGKILL included, can leave behind, and named only by commit; elsewhere under a name nobody can guess,
/// removed without commit or when a signal ends the process (see removeTemporaries). Until it is complete
/// only its owner may read it. A file it replaces passes on its owner, group and permission bits, but never
/// its set-user-ID or set-group-ID bit. Until commit whatever stands at the target is untouched, and nothing
/// else is ever removed. The target is judged when writing begins and again when the file is put in place,
/// since anything may have changed in between.
class AtomicFile {
 public:
  /// Creates the temporary; throws as destinationOf and `refuse` do, or OutputError when the folder cannot be
  /// written.
  explicit AtomicFile(const std::filesystem::path& target, Refusal refuse = {});
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  /// Appends bytes; false from the first failure on. For the C libraries' write callbacks, which must not
  /// throw.
  bool write(const void* data, std::size_t size) noexcept;
  /// Flushes, closes and puts the file in place of the target, judging the target again first and passing on
  /// the owner and permission bits of what stands there now; throws as the constructor does, or OutputError
  /// naming the first failure, the temporary removed.
  void commit();
  /// For a library that gave up writing: throws OutputError with the reason of the write that failed, or
  /// with `why` when none did. The temporary goes with this file.
  [[noreturn]] void abandon(const std::string& why) const;

  const std::filesystem::path& target() const { return target_; }
  const std::filesystem::path& destination() const { return destination_; }

 private:
  void create();
  /// Claims a name for the file that is nobody else's, tried by `claim`, which fails with errno EEXIST for a
  /// name that is taken: the name becomes the temporary, listed for removeTemporaries. False, with errno
  /// saying why, when none is had.
  bool claimTemporary(const std::function<bool(const std::filesystem::path&)>& claim);
  /// Judges the target again, as the file is about to replace it, and takes the owner and permission bits
  /// the complete file is to have from what stands there now.
  void judgeTargetAgain();
  /// Gives the complete file the owner and permission bits it is to have.
  void finishMode();
  void closeFile();
  void renameIntoPlace();
  /// Gives a file made without a name the target's, replacing whatever stands there.
  void nameUnnamed();
  /// Where the system refuses to name a file made without one, writes its content to a named temporary and
  /// puts that in place instead.
  void nameACopy();
  void fail(const std::string& reason);
  void discard() noexcept;
  /// Takes the temporary off the list that removeTemporaries reads, once it is gone or in place.
  void forget() noexcept;

  std::filesystem::path target_;
  Refusal refuse_;
  std::filesystem::path destination_;
  /// Empty while the file has no name.
  std::filesystem::path temporary_;
  std::FILE* file_ = nullptr;
  unsigned mode_ = 0600;
  /// The replaced file's owner and group, or -1.
  std::int64_t owner_ = -1;
  std::int64_t group_ = -1;
  bool failed_ = false;
  std::string failure_;
};

}  // namespace sim
