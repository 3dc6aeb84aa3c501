#include "standin/loader/DynamicLibrary.h"

#include <string>
#include <utility>

#include "common/Quote.h"
#include "common/System.h"

namespace standin {

DynamicLibrary::DynamicLibrary(const std::filesystem::path& path) : path_(path) {
  auto fail = [&](const std::string& reason) {
    throw LoadError("cannot load plugin " + common::escape(path.string()) + ": " + reason);
  };
  std::error_code error;
  std::filesystem::file_status status = std::filesystem::status(path, error);
  if (!std::filesystem::exists(status)) fail("no such file");
  if (std::filesystem::is_directory(status)) fail("it is a directory, not a plugin module");
  if (!std::filesystem::is_regular_file(status)) fail("it is not a regular file");
  // A bare name is the file in the current folder: made absolute, the name never reaches the system's
  // library search.
  std::filesystem::path absolute = std::filesystem::absolute(path, error);
  if (error) fail(common::escape(error.message()));
  std::string why;
  handle_ = os::openLibrary(absolute, why);
  if (handle_ == nullptr) fail(common::escape(why));
}

DynamicLibrary::~DynamicLibrary() { close(); }

DynamicLibrary::DynamicLibrary(DynamicLibrary&& other) noexcept
    : path_(std::move(other.path_)), handle_(std::exchange(other.handle_, nullptr)) {}

void* DynamicLibrary::symbol(const char* name) const {
  return handle_ == nullptr ? nullptr : os::librarySymbol(handle_, name);
}

void DynamicLibrary::close() noexcept {
  if (handle_ == nullptr) return;
  os::closeLibrary(handle_);
  handle_ = nullptr;
}

bool DynamicLibrary::isMapped(const std::filesystem::path& path) { return os::libraryMapped(path); }

}  // namespace standin
