// Writing the simulator's files so that none is ever lost or left half-written: a file written beside its
// target and put in place once complete.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

#include "common/System.h"
#include "sim/OutputError.h"

namespace sim {

/// What the writer of a file refuses to replace besides what destinationOf refuses: called with the target
/// and its destination, it throws OutputError for a file that must stay (the input of the run writing it,
/// say).
using Refusal =
    std::function<void(const std::filesystem::path& target, const std::filesystem::path& destination)>;

/// A file written beside its target and put in its place by commit, once complete and flushed to the disk.
/// Where the system can, it is written without a name (Linux's O_TMPFILE), which no death of the process,
/// SIGKILL included, can leave behind, and named only by commit; elsewhere under a name nobody can guess,
/// removed without commit or when a signal ends the process (see Temporaries.h). Until it is complete
/// only its owner may read it. A file it replaces passes on its owner, group and permission bits, but never
/// its set-user-ID or set-group-ID bit. Until commit whatever stands at the target is untouched, and nothing
/// else is ever removed. The target is judged when writing begins and again when the file is put in place,
/// since anything may have changed in between.
class AtomicFile {
 public:
  /// Creates the temporary; throws as destinationOf (Targets.h) and `refuse` do, or OutputError when the
  /// folder cannot be written.
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
  /// Renames the temporary over the target; a full disk may be injected first.
  void renameIntoPlace();
  void renameOverDestination();
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
  /// What the complete file is to be: the replaced file's owner, group and permission bits, or a new file's.
  os::Ownership ownership_;
  bool failed_ = false;
  std::string failure_;
};

}  // namespace sim
