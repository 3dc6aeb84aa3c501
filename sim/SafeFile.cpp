#include "SafeFile.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <system_error>
#include <utility>

#include "Quote.h"

#if defined(_WIN32)
#include <io.h>
#include <process.h>
#else
#include <unistd.h>
#endif

namespace sim {
namespace {

struct Seam {
  std::uint64_t operations = 0;
  std::uint64_t failing = 0;
};
Seam seam;

// Counts one file operation; true when it is the one chosen to fail, which then fails as a full disk does.
bool injectedFault() {
  if (++seam.operations != seam.failing) return false;
  errno = ENOSPC;
  return true;
}

std::string reason() { return std::strerror(errno); }

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

int processId() {
#if defined(_WIN32)
  return _getpid();
#else
  return static_cast<int>(getpid());
#endif
}

}  // namespace

namespace fileops {
void failAt(std::uint64_t n) { seam.failing = n == 0 ? 0 : seam.operations + n; }
std::uint64_t count() { return seam.operations; }
}  // namespace fileops

std::filesystem::path destinationOf(const std::filesystem::path& target) {
  std::error_code error;
  std::filesystem::file_status link = std::filesystem::symlink_status(target, error);
  std::filesystem::file_status status = std::filesystem::status(target, error);
  if (std::filesystem::is_symlink(link) && !std::filesystem::exists(status)) {
    throw OutputError(cannotWrite(target, "it is a link to nothing"));
  }
  if (std::filesystem::is_directory(status)) throw OutputError(cannotWrite(target, "it is a directory"));
  if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
    throw OutputError(cannotWrite(target, "it is not a regular file"));
  }
  std::filesystem::path destination =
      std::filesystem::weakly_canonical(std::filesystem::absolute(target), error);
  if (error) throw OutputError(cannotWrite(target, error.message()));
  return destination;
}

AtomicFile::AtomicFile(const std::filesystem::path& target)
    : target_(target), destination_(destinationOf(target)) {
  static unsigned made = 0;
  // A name of our own beside the target, so that the rename stays within one file system; a name that is
  // taken belongs to someone else and is left alone.
  for (int attempt = 0; attempt < 100 && file_ == nullptr; ++attempt) {
    std::filesystem::path candidate = destination_;
    candidate.replace_filename("." + destination_.filename().string() + "." + std::to_string(processId()) +
                               "-" + std::to_string(++made) + ".tmp");
    file_ = openNew(candidate);
    if (file_ != nullptr) temporary_ = candidate;
    if (file_ == nullptr && errno != EEXIST) break;
  }
  if (file_ == nullptr) throw OutputError(cannotWrite(target_, reason()));
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
    fail(std::strerror(closeError));
  }
  if (!failed_) {
    std::error_code error;
    if (injectedFault()) {
      error = std::make_error_code(std::errc::no_space_on_device);
    } else {
      std::filesystem::rename(temporary_, destination_, error);
    }
    if (error) fail(error.message());
  }
  if (failed_) {
    discard();
    abandon("write failed");
  }
  temporary_.clear();
}

void AtomicFile::abandon(const std::string& why) const {
  throw OutputError(failure_.empty() ? cannotWrite(target_, why) : failure_);
}

void AtomicFile::discard() noexcept {
  if (file_ != nullptr) std::fclose(std::exchange(file_, nullptr));
  if (temporary_.empty()) return;
  std::error_code ignored;
  std::filesystem::remove(temporary_, ignored);
  temporary_.clear();
}

}  // namespace sim
