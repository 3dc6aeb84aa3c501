#include "sim/AtomicFile.h"

#include <algorithm>
#include <cerrno>
#include <memory>
#include <random>
#include <string>
#include <system_error>
#include <utility>

#include "common/Quote.h"
#include "sim/FileFaults.h"
#include "sim/Targets.h"
#include "sim/Temporaries.h"

namespace sim {
namespace {

std::string reason() { return common::systemReason(errno); }

// The folder refused a new file: the reason is the folder's, whatever the target allows.
std::string cannotCreateIn(const std::filesystem::path& folder) {
  return "cannot create a file in its folder " + common::escape(folder.string()) + ": " + reason();
}

bool flushToDisk(std::FILE* file) { return !faults::injected() && os::flushToDisk(file); }

// A name beside the destination that nobody can guess and so take first: another user who could create it
// in a shared folder would otherwise block every write there.
std::filesystem::path temporaryName(const std::filesystem::path& destination) {
  static std::random_device source;
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string random;
  for (int i = 0; i < 4; ++i) {
    unsigned bits = source();
    for (int j = 0; j < 4; ++j, bits >>= 4) random += kDigits[bits & 0xf];
  }
  std::filesystem::path suffix = "." + random + ".tmp";
  auto name = destination.filename().native();
  name.resize(std::min(name.size(), kNameMax - 1 - suffix.native().size()));
  std::filesystem::path candidate = destination;
  candidate.replace_filename(std::filesystem::path(".") += name);
  return candidate += suffix;
}

// A new file under the name, readable and writable by its owner alone until it is complete; a file that
// already exists, whoever made it, is never opened, let alone truncated. errno says why not.
std::FILE* openNamed(const std::filesystem::path& path) {
  return faults::injected() ? nullptr : os::openExclusive(path);
}

// A file without a name in the folder, which no signal, not even SIGKILL, can leave behind: nullptr with
// errno EOPNOTSUPP where it cannot be had. It is opened for reading too, so that its content can still be
// copied to a name of its own where the system refuses to name it (see AtomicFile::nameACopy).
std::FILE* openUnnamed(const std::filesystem::path& folder) {
  if (!faults::unnamedAllowed()) {
    errno = EOPNOTSUPP;
    return nullptr;
  }
  return faults::injected() ? nullptr : os::openUnnamed(folder);
}

}  // namespace

AtomicFile::AtomicFile(const std::filesystem::path& target, Refusal refuse)
    : target_(target), refuse_(std::move(refuse)), destination_(destinationOf(target)) {
  if (refuse_) refuse_(target_, destination_);
  create();
}

void AtomicFile::create() {
  std::filesystem::path folder = folderOf(destination_);
  file_ = openUnnamed(folder);
  if (file_ != nullptr) return;
  if (errno != EOPNOTSUPP) throw OutputError(cannotWrite(target_, cannotCreateIn(folder)));
  // A name of our own beside the target, so that the rename stays within one file system.
  bool claimed = claimTemporary([&](const std::filesystem::path& candidate) {
    file_ = openNamed(candidate);
    return file_ != nullptr;
  });
  if (!claimed) throw OutputError(cannotWrite(target_, cannotCreateIn(folder)));
}

bool AtomicFile::claimTemporary(const std::function<bool(const std::filesystem::path&)>& claim) {
  // A name that is taken belongs to someone else and is left alone.
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::filesystem::path candidate = temporaryName(destination_);
    os::EndingSignalsHeld held;
    if (!claim(candidate)) {
      if (errno == EEXIST) continue;
      return false;
    }
    // Listed under the member's own text, which lives as long as the name is ours.
    temporary_ = candidate;
    if (!rememberTemporary(temporary_)) {
      discard();
      throw OutputError(cannotWrite(target_, "the simulator holds too many files at once"));
    }
    return true;
  }
  return false;
}

void AtomicFile::judgeTargetAgain() {
  try {
    std::filesystem::path now = destinationOf(target_);
    if (!sameDestination(now, destination_)) {
      throw OutputError(cannotWrite(target_, "it names another file than when writing began"));
    }
    if (refuse_) refuse_(target_, destination_);
  } catch (...) {
    discard();
    throw;
  }
  // What the file will be once complete: a replaced file passes on who owns it and who may read and write
  // it, never the set-user-ID or set-group-ID bit; a new file is made as any other, under the umask.
  ownership_ = os::ownershipOf(destination_).value_or(os::newFileOwnership());
}

AtomicFile::~AtomicFile() { discard(); }

void AtomicFile::fail(const std::string& why) {
  if (!failed_) failure_ = cannotWrite(target_, why);
  failed_ = true;
}

bool AtomicFile::write(const void* data, std::size_t size) noexcept {
  if (failed_ || file_ == nullptr) return false;
  if (faults::injected() || std::fwrite(data, 1, size, file_) != size) {
    try {
      fail(reason());
    } catch (...) {
      // Without memory for the message the write has still failed; commit says so in fewer words.
      failed_ = true;
    }
    return false;
  }
  return true;
}

void AtomicFile::commit() {
  if (file_ == nullptr) throw OutputError(cannotWrite(target_, "the file is already complete"));
  if (!failed_ && !flushToDisk(file_)) fail(reason());
  if (!failed_) judgeTargetAgain();
  if (!failed_) finishMode();
  if (!failed_) {
    if (temporary_.empty()) {
      nameUnnamed();
    } else {
      closeFile();
      if (!failed_) renameIntoPlace();
    }
  }
  if (failed_) {
    discard();
    abandon("write failed");
  }
  // In place and on the disk; closing cannot take that back.
  if (file_ != nullptr) std::fclose(std::exchange(file_, nullptr));
}

void AtomicFile::finishMode() {
  if (!os::handOver(file_, ownership_)) fail(reason());
}

void AtomicFile::closeFile() {
  if (file_ == nullptr) return;
  bool closeFailed = faults::injected();
  int closeError = errno;
  if (std::fclose(std::exchange(file_, nullptr)) != 0 || closeFailed) {
    if (!closeFailed) closeError = errno;
    fail(common::systemReason(closeError));
  }
}

void AtomicFile::renameIntoPlace() {
  if (faults::injected()) {
    fail(common::escape(std::make_error_code(std::errc::no_space_on_device).message()));
    return;
  }
  renameOverDestination();
}

void AtomicFile::renameOverDestination() {
  std::error_code error;
  os::renameOver(temporary_, destination_, ownership_.mode, error);
  if (error) {
    fail(common::escape(error.message()));
  } else {
    forget();
  }
}

void AtomicFile::nameUnnamed() {
  // The data is on the disk: closing the file can no longer fail for it, but its descriptor names it.
  auto link = [&](const std::filesystem::path& name) {
    if (faults::namingRefused()) {
      errno = EPERM;
      return false;
    }
    return os::nameUnnamed(file_, name);
  };
  // What a system that cannot name such a file at all says, rather than what names it cannot take.
  auto refused = [] { return errno == EPERM || errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP; };
  // Held from here to the end: the name of our own, if one is needed, lives only until the rename.
  os::EndingSignalsHeld held;
  if (faults::injected()) {
    fail(reason());
    return;
  }
  if (link(destination_)) return;
  if (errno == EEXIST) {
    // A file stands at the target: a link cannot replace it, a rename can.
    if (claimTemporary(link)) {
      renameOverDestination();
      return;
    }
  }
  if (refused()) {
    nameACopy();
    return;
  }
  fail(reason());
}

void AtomicFile::nameACopy() {
  faults::refusedToName();
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> unnamed(std::exchange(file_, nullptr), &std::fclose);
  std::filesystem::path folder = folderOf(destination_);
  bool claimed = claimTemporary([&](const std::filesystem::path& candidate) {
    file_ = openNamed(candidate);
    return file_ != nullptr;
  });
  if (!claimed) {
    fail(cannotCreateIn(folder));
    return;
  }
  std::rewind(unnamed.get());
  char buffer[64 * 1024];
  for (std::size_t got; !failed_ && (got = std::fread(buffer, 1, sizeof buffer, unnamed.get())) > 0;) {
    if (!write(buffer, got)) break;
  }
  if (!failed_ && std::ferror(unnamed.get())) fail(reason());
  unnamed.reset();
  if (!failed_ && !flushToDisk(file_)) fail(reason());
  if (!failed_) finishMode();
  closeFile();
  if (!failed_) renameIntoPlace();
}

void AtomicFile::abandon(const std::string& why) const {
  throw OutputError(failure_.empty() ? cannotWrite(target_, why) : failure_);
}

void AtomicFile::discard() noexcept {
  if (file_ != nullptr) std::fclose(std::exchange(file_, nullptr));
  if (temporary_.empty()) return;
  // A folder that takes new names but gives none up (append-only) keeps the temporary: the failure says
  // where.
  std::error_code error;
  if (!std::filesystem::remove(temporary_, error) && error && !failure_.empty()) {
    try {
      failure_ += "; what was written is left as " + common::escape(temporary_.string()) +
                  ", which cannot be removed: " + common::escape(error.message());
    } catch (...) {
      // Without memory for the words, the failure is told without them.
    }
  }
  forget();
}

void AtomicFile::forget() noexcept {
  forgetTemporary(temporary_);
  temporary_.clear();
}

}  // namespace sim
