#include "AtomicFile.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <string>
#include <system_error>
#include <utility>

#include "Countdown.h"
#include "Quote.h"

#if defined(_WIN32)
#include <io.h>
#include <process.h>
#else
#include <signal.h>
#include <unistd.h>
#endif

namespace sim {
namespace {

struct Seam {
  standin::Countdown operations;
  int signal = 0;
};
Seam seam;

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

std::string reason() { return standin::escape(std::strerror(errno)); }

std::string cannotWrite(const std::filesystem::path& target, const std::string& why) {
  return "cannot write " + standin::escape(target.string()) + ": " + why;
}

std::FILE* openNew(const std::filesystem::path& path) {
  if (injectedFault()) return nullptr;
    // 'x': a file that already exists, whoever made it, is never opened, let alone truncated.
#if defined(_WIN32)
  return _wfopen(path.c_str(), L"wbx");
#else
  return std::fopen(path.c_str(), "wbx");
#endif
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

// The temporaries of this process, for a signal handler to remove. A temporary is made and listed while the
// signals that end the process are held back, so that no handler misses one; it leaves the list only once
// it is gone or renamed, so that a handler in between finds nothing of anyone's under its name.
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
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&ending, signal);
    sigprocmask(SIG_BLOCK, &ending, &previous_);
  }
  ~SignalsHeld() { sigprocmask(SIG_SETMASK, &previous_, nullptr); }

 private:
  sigset_t previous_;
#endif
};

int processId() {
#if defined(_WIN32)
  return _getpid();
#else
  return static_cast<int>(getpid());
#endif
}

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
  auto folder = [](const std::filesystem::path& path) {
    return path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
  };
  std::error_code error;
  return a.filename() == b.filename() && std::filesystem::equivalent(folder(a), folder(b), error);
}

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

AtomicFile::AtomicFile(const std::filesystem::path& target)
    : target_(target), destination_(destinationOf(target)) {
  create();
}

void AtomicFile::create() {
  static unsigned made = 0;
  std::error_code error;
  std::filesystem::file_status replaced = std::filesystem::status(destination_, error);
  // A name of our own beside the target, so that the rename stays within one file system; a name that is
  // taken belongs to someone else and is left alone.
  for (int attempt = 0; attempt < 100 && file_ == nullptr; ++attempt) {
    std::filesystem::path suffix = "." + std::to_string(processId()) + "-" + std::to_string(++made) + ".tmp";
    auto name = destination_.filename().native();
    name.resize(std::min(name.size(), kNameMax - 1 - suffix.native().size()));
    std::filesystem::path candidate = destination_;
    candidate.replace_filename(std::filesystem::path(".") += name);
    candidate += suffix;
    SignalsHeld held;
    file_ = openNew(candidate);
    if (file_ == nullptr && errno != EEXIST) break;
    if (file_ == nullptr) continue;
    temporary_ = candidate;
    auto slot = std::find(std::begin(temporaries), std::end(temporaries), nullptr);
    if (slot == std::end(temporaries)) {
      discard();
      throw OutputError(cannotWrite(target_, "the simulator holds too many files at once"));
    }
    *slot = temporary_.c_str();
  }
  if (file_ == nullptr) throw OutputError(cannotWrite(target_, reason()));
  // A replaced file keeps who may read and write it.
  if (std::filesystem::is_regular_file(replaced)) {
    std::filesystem::permissions(temporary_, replaced.permissions(), error);
    if (error) fail(standin::escape(error.message()));
  }
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
  bool closeFailed = injectedFault();
  int closeError = errno;
  if (std::fclose(std::exchange(file_, nullptr)) != 0 || closeFailed) {
    if (!closeFailed) closeError = errno;
    fail(standin::escape(std::strerror(closeError)));
  }
  if (!failed_) {
    std::error_code error;
    if (injectedFault()) {
      error = std::make_error_code(std::errc::no_space_on_device);
    } else {
      std::filesystem::rename(temporary_, destination_, error);
    }
    if (error) {
      fail(standin::escape(error.message()));
    } else {
      forget();
    }
  }
  if (failed_) {
    discard();
    abandon("write failed");
  }
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
  std::replace(std::begin(temporaries), std::end(temporaries), temporary_.c_str(),
               static_cast<const NativeChar*>(nullptr));
  temporary_.clear();
}

}  // namespace sim
