#include "AtomicFile.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <system_error>
#include <utility>

#include "Countdown.h"
#include "ProcessSetup.h"
#include "Quote.h"

#if defined(_WIN32)
#if !defined(NOMINMAX)
#define NOMINMAX
#endif
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace sim {
namespace {

struct Seam {
  standin::Countdown operations;
  int signal = 0;
  bool unnamed = true;
  bool namingRefused = false;
};
Seam seam;
// Once the system refused to name a file made without one, every later file is written named from the start.
bool unnamedCannotBeNamed = false;

// Counts one file operation; true when it is the one chosen to fail, which then fails as a full disk does.
// With a signal chosen, the operation is interrupted by it instead.
bool injectedFault() {
  if (!seam.operations.next()) return false;
  if (seam.signal != 0) {
    std::raise(seam.signal);
    return false;
  }
  errno = ENOSPC;
  return true;
}

std::string reason() { return standin::systemReason(errno); }

std::string cannotWrite(const std::filesystem::path& target, const std::string& why) {
  return "cannot write " + standin::escape(target.string()) + ": " + why;
}

// The folder refused a new file: the reason is the folder's, whatever the target allows.
std::string cannotCreateIn(const std::filesystem::path& folder) {
  return "cannot create a file in its folder " + standin::escape(folder.string()) + ": " + reason();
}

bool flushToDisk(std::FILE* file) {
  if (injectedFault() || std::fflush(file) != 0) return false;
#if defined(_WIN32)
  return _commit(_fileno(file)) == 0;
#else
  return fsync(fileno(file)) == 0;
#endif
}

// The longest file name and path the system takes. A temporary's name is the target's with a suffix, cut
// where it would pass the first; the second leaves room for the suffix.
constexpr std::size_t kNameMax = 255;
constexpr std::size_t kPathMax = 4096;
constexpr std::size_t kSuffixRoom = 32;

// The temporaries of this process that have a name, for a signal handler to remove. A temporary is named and
// listed while the signals that end the process are held back, so that no handler misses one; it leaves the
// list only once it is gone or renamed, so that a handler in between finds nothing of anyone's under its
// name.
using NativeChar = std::filesystem::path::value_type;
const NativeChar* temporaries[8] = {};

class SignalsHeld {
 public:
#if defined(_WIN32)
  SignalsHeld() {}
#else
  SignalsHeld() {
    sigset_t ending;
    sigemptyset(&ending);
    for (int signal : endingSignals()) sigaddset(&ending, signal);
    sigprocmask(SIG_BLOCK, &ending, &previous_);
  }
  ~SignalsHeld() { sigprocmask(SIG_SETMASK, &previous_, nullptr); }

 private:
  sigset_t previous_;
#endif
};

bool rememberTemporary(const std::filesystem::path& temporary) {
  auto slot = std::find(std::begin(temporaries), std::end(temporaries), nullptr);
  if (slot == std::end(temporaries)) return false;
  *slot = temporary.c_str();
  return true;
}

void forgetTemporary(const std::filesystem::path& temporary) {
  std::replace(std::begin(temporaries), std::end(temporaries), temporary.c_str(),
               static_cast<const NativeChar*>(nullptr));
}

std::filesystem::path folderOf(const std::filesystem::path& path) {
  return path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
}

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

// Opens a new file under the name, readable and writable by its owner alone until it is complete; a file that
// already exists, whoever made it, is never opened, let alone truncated. errno says why not.
std::FILE* openNamed(const std::filesystem::path& path) {
  if (injectedFault()) return nullptr;
#if defined(_WIN32)
  std::FILE* file = nullptr;
  if (errno_t error = _wfopen_s(&file, path.c_str(), L"wbx"); error != 0) {
    errno = error;
    return nullptr;
  }
  return file;
#else
  int descriptor = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (descriptor < 0) return nullptr;
  std::FILE* file = fdopen(descriptor, "wb");
  if (file == nullptr) {
    int error = errno;
    close(descriptor);
    unlink(path.c_str());
    errno = error;
  }
  return file;
#endif
}

#if defined(O_TMPFILE)
// The name through which a file without one is given a name, while its descriptor is open.
std::string descriptorPath(std::FILE* file) { return "/proc/self/fd/" + std::to_string(fileno(file)); }

// A file without a name in the folder, which no signal, not even SIGKILL, can leave behind: nullptr with
// errno EOPNOTSUPP where the file system or the system cannot make one, or cannot name it later.
// It is opened for reading too, so that its content can still be copied to a name of its own where the
// system refuses to name it (see AtomicFile::nameACopy).
std::FILE* openUnnamed(const std::filesystem::path& folder) {
  if (!seam.unnamed || unnamedCannotBeNamed) {
    errno = EOPNOTSUPP;
    return nullptr;
  }
  if (injectedFault()) return nullptr;
  static const bool nameable = access("/proc/self/fd", X_OK) == 0;
  int descriptor = nameable ? open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600) : -1;
  if (!nameable || (descriptor < 0 && (errno == EISDIR || errno == EINVAL))) errno = EOPNOTSUPP;
  if (descriptor < 0) return nullptr;
  std::FILE* file = fdopen(descriptor, "w+b");
  if (file == nullptr) close(descriptor);
  return file;
}
#endif

#if defined(_WIN32)
void refusePlantedLinks(const std::filesystem::path&) {}
#else
// In a sticky folder that anyone may write (such as /tmp) the kernel follows a link only for the folder's
// owner or the link's, where it is told to (protected_symlinks), and a rename gets no such protection: the
// simulator holds every link on the target's path to that rule itself, a folder's as the file's, so that a
// link to a folder planted in /tmp cannot lead a write into another user's folder.
void refusePlantedLinks(const std::filesystem::path& target) {
  std::filesystem::path walked;
  for (const std::filesystem::path& part : target) {
    walked /= part;
    struct stat link {};
    struct stat folder {};
    if (lstat(walked.c_str(), &link) != 0 || !S_ISLNK(link.st_mode) ||
        stat(folderOf(walked).c_str(), &folder) != 0) {
      continue;
    }
    bool shared = (folder.st_mode & S_ISVTX) != 0 && (folder.st_mode & S_IWOTH) != 0;
    if (shared && link.st_uid != folder.st_uid && link.st_uid != geteuid()) {
      std::string which = walked == target ? "it" : "its folder " + standin::escape(walked.string());
      throw OutputError(
          cannotWrite(target, which + " is a link in a sticky folder that anyone may write, made by "
                                      "neither the folder's owner nor this user"));
    }
  }
}
#endif

}  // namespace

namespace fileops {
void failAt(std::uint64_t n) {
  seam.operations.chooseIn(n);
  seam.signal = 0;
}
void signalAt(std::uint64_t n, int signal) {
  seam.operations.chooseIn(n);
  seam.signal = signal;
}
std::uint64_t count() { return seam.operations.made(); }
void writeUnnamed(bool on) {
  seam.unnamed = on;
  unnamedCannotBeNamed = false;
}
void refuseNaming(bool on) {
  seam.namingRefused = on;
  unnamedCannotBeNamed = false;
}
}  // namespace fileops

std::filesystem::path destinationOf(const std::filesystem::path& target) {
  const auto& text = target.native();
  if (text.find(NativeChar{0}) != text.npos) {
    throw UnusableName(cannotWrite(target, "a file name cannot hold a NUL byte"));
  }
  if (target.filename().empty()) throw OutputError(cannotWrite(target, "it names a folder, not a file"));
  if (target.filename().native().size() > kNameMax) {
    throw UnusableName(cannotWrite(
        target, "its name is longer than the " + std::to_string(kNameMax) + " bytes a file name can have"));
  }
  if (text.size() + kSuffixRoom > kPathMax) {
    throw UnusableName(cannotWrite(target, "its path is longer than the " +
                                               std::to_string(kPathMax - kSuffixRoom) + " bytes taken here"));
  }
  refusePlantedLinks(target);
  std::error_code error;
  std::filesystem::file_status link = std::filesystem::symlink_status(target, error);
  if (link.type() == std::filesystem::file_type::not_found) return target;
  if (error) throw OutputError(cannotWrite(target, standin::escape(error.message())));
  std::filesystem::path destination = target;
  if (std::filesystem::is_symlink(link)) {
    destination = std::filesystem::canonical(target, error);
    if (error == std::errc::no_such_file_or_directory) {
      throw OutputError(cannotWrite(target, "it is a link to nothing"));
    }
    if (error) throw OutputError(cannotWrite(target, standin::escape(error.message())));
  }
  std::filesystem::file_status status = std::filesystem::status(destination, error);
  if (std::filesystem::is_directory(status)) throw OutputError(cannotWrite(target, "it is a directory"));
  if (!std::filesystem::is_regular_file(status)) {
    throw OutputError(cannotWrite(target, "it is not a regular file"));
  }
  if (std::filesystem::hard_link_count(destination, error) > 1) {
    throw OutputError(
        cannotWrite(target, "it has other names (hard links), which would keep the old content"));
  }
  using std::filesystem::perms;
  bool writable =
      (status.permissions() & (perms::owner_write | perms::group_write | perms::others_write)) != perms::none;
#if !defined(_WIN32)
  writable = writable && access(destination.c_str(), W_OK) == 0;
#endif
  if (!writable) throw OutputError(cannotWrite(target, "it is read-only"));
  return destination;
}

bool sameDestination(const std::filesystem::path& a, const std::filesystem::path& b) {
  std::error_code error;
  return a.filename() == b.filename() && std::filesystem::equivalent(folderOf(a), folderOf(b), error);
}

#if defined(_WIN32)
namespace {
std::optional<FileIdentity> identityOfHandle(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION information{};
  if (handle == INVALID_HANDLE_VALUE || GetFileType(handle) != FILE_TYPE_DISK ||
      !GetFileInformationByHandle(handle, &information)) {
    return std::nullopt;
  }
  return FileIdentity{information.dwVolumeSerialNumber,
                      std::uint64_t{information.nFileIndexHigh} << 32 | information.nFileIndexLow};
}
}  // namespace

std::optional<FileIdentity> identityOf(const std::filesystem::path& path) {
  HANDLE handle = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  std::optional<FileIdentity> identity = identityOfHandle(handle);
  if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  return identity;
}

std::optional<FileIdentity> identityOfStandard(int descriptor) {
  return identityOfHandle(reinterpret_cast<HANDLE>(_get_osfhandle(descriptor)));
}
#else
namespace {
std::optional<FileIdentity> identityOfStatus(int result, const struct stat& status) {
  if (result != 0 || !S_ISREG(status.st_mode)) return std::nullopt;
  return FileIdentity{static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino)};
}
}  // namespace

std::optional<FileIdentity> identityOf(const std::filesystem::path& path) {
  struct stat status {};
  return identityOfStatus(stat(path.c_str(), &status), status);
}

std::optional<FileIdentity> identityOfStandard(int descriptor) {
  struct stat status {};
  return identityOfStatus(fstat(descriptor, &status), status);
}
#endif

void removeTemporaries() noexcept {
  for (const NativeChar* temporary : temporaries) {
    if (temporary == nullptr) continue;
#if defined(_WIN32)
    _wunlink(temporary);
#else
    unlink(temporary);
#endif
  }
}

AtomicFile::AtomicFile(const std::filesystem::path& target, Refusal refuse)
    : target_(target), refuse_(std::move(refuse)), destination_(destinationOf(target)) {
  if (refuse_) refuse_(target_, destination_);
  create();
}

void AtomicFile::create() {
  std::filesystem::path folder = folderOf(destination_);
#if defined(O_TMPFILE)
  file_ = openUnnamed(folder);
  if (file_ != nullptr) return;
  if (errno != EOPNOTSUPP) throw OutputError(cannotWrite(target_, cannotCreateIn(folder)));
#endif
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
    SignalsHeld held;
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
#if defined(_WIN32)
  std::error_code error;
  std::filesystem::file_status replaced = std::filesystem::status(destination_, error);
  mode_ = std::filesystem::is_regular_file(replaced)
              ? static_cast<unsigned>(replaced.permissions() & std::filesystem::perms::all)
              : 0600;
#else
  struct stat replaced {};
  if (stat(destination_.c_str(), &replaced) == 0 && S_ISREG(replaced.st_mode)) {
    mode_ = replaced.st_mode & 0777;
    owner_ = replaced.st_uid;
    group_ = replaced.st_gid;
  } else {
    mode_t mask = umask(0);
    umask(mask);
    mode_ = 0666 & ~mask;
    owner_ = -1;
    group_ = -1;
  }
#endif
}

AtomicFile::~AtomicFile() { discard(); }

void AtomicFile::fail(const std::string& why) {
  if (!failed_) failure_ = cannotWrite(target_, why);
  failed_ = true;
}

bool AtomicFile::write(const void* data, std::size_t size) noexcept {
  if (failed_ || file_ == nullptr) return false;
  if (injectedFault() || std::fwrite(data, 1, size, file_) != size) {
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
#if defined(_WIN32)
  // Windows keeps only whether a file is read-only, which a file being written cannot be.
#else
  int descriptor = fileno(file_);
  // Only root may give a file away; anyone else's replacement is theirs, as with any program that saves by
  // renaming.
  if (owner_ >= 0 && fchown(descriptor, static_cast<uid_t>(owner_), static_cast<gid_t>(group_)) != 0 &&
      geteuid() == 0) {
    fail(reason());
  }
  if (!failed_ && fchmod(descriptor, static_cast<mode_t>(mode_)) != 0) fail(reason());
#endif
}

void AtomicFile::closeFile() {
  if (file_ == nullptr) return;
  bool closeFailed = injectedFault();
  int closeError = errno;
  if (std::fclose(std::exchange(file_, nullptr)) != 0 || closeFailed) {
    if (!closeFailed) closeError = errno;
    fail(standin::systemReason(closeError));
  }
}

void AtomicFile::renameIntoPlace() {
  std::error_code error;
  if (injectedFault()) {
    error = std::make_error_code(std::errc::no_space_on_device);
  } else {
#if defined(_WIN32)
    std::filesystem::permissions(temporary_, static_cast<std::filesystem::perms>(mode_), error);
    if (!error) std::filesystem::rename(temporary_, destination_, error);
#else
    std::filesystem::rename(temporary_, destination_, error);
#endif
  }
  if (error) {
    fail(standin::escape(error.message()));
  } else {
    forget();
  }
}

void AtomicFile::nameUnnamed() {
#if defined(O_TMPFILE)
  // The data is on the disk: closing the file can no longer fail for it, but the descriptor names it.
  std::string source = descriptorPath(file_);
  auto link = [&](const std::filesystem::path& name) {
    if (seam.namingRefused) {
      errno = EPERM;
      return false;
    }
    return linkat(AT_FDCWD, source.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0;
  };
  // What a system that cannot name such a file at all says, rather than what names it cannot take.
  auto refused = [] { return errno == EPERM || errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP; };
  // Held from here to the end: the name of our own, if one is needed, lives only until the rename.
  SignalsHeld held;
  if (injectedFault()) {
    fail(reason());
    return;
  }
  if (link(destination_)) return;
  if (errno == EEXIST) {
    // A file stands at the target: a link cannot replace it, a rename can.
    if (claimTemporary(link)) {
      if (std::rename(temporary_.c_str(), destination_.c_str()) != 0) {
        fail(reason());
        return;
      }
      forget();
      return;
    }
  }
  if (refused()) {
    nameACopy();
    return;
  }
  fail(reason());
#endif
}

void AtomicFile::nameACopy() {
#if defined(O_TMPFILE)
  unnamedCannotBeNamed = true;
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
#endif
}

void AtomicFile::abandon(const std::string& why) const {
  throw OutputError(failure_.empty() ? cannotWrite(target_, why) : failure_);
}

void AtomicFile::discard() noexcept {
  if (file_ != nullptr) std::fclose(std::exchange(file_, nullptr));
  if (temporary_.empty()) return;
  std::error_code ignored;
  std::filesystem::remove(temporary_, ignored);
  forget();
}

void AtomicFile::forget() noexcept {
  forgetTemporary(temporary_);
  temporary_.clear();
}

}  // namespace sim
