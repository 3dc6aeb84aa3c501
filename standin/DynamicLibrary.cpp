#include "DynamicLibrary.h"

#include <string>
#include <utility>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace standin {
namespace {

std::string lastError() {
#if defined(_WIN32)
  DWORD code = GetLastError();
  char* text = nullptr;
  FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                 nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message = text != nullptr ? text : "error " + std::to_string(code);
  LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) message.pop_back();
  return message;
#else
  const char* text = dlerror();
  return text != nullptr ? text : "unknown error";
#endif
}

}  // namespace

DynamicLibrary::DynamicLibrary(const std::filesystem::path& path) : path_(path) {
  auto fail = [&](const std::string& reason) {
    throw LoadError("cannot load plugin " + path.string() + ": " + reason);
  };
  std::error_code error;
  std::filesystem::file_status status = std::filesystem::status(path, error);
  if (!std::filesystem::exists(status)) fail("no such file");
  if (std::filesystem::is_directory(status)) fail("it is a directory, not a plugin module");
  if (!std::filesystem::is_regular_file(status)) fail("it is not a regular file");
  // A bare name is the file in the current folder: made absolute, the name never reaches the system's
  // library search.
  std::filesystem::path absolute = std::filesystem::absolute(path, error);
  if (error) fail(error.message());
#if defined(_WIN32)
  handle_ = LoadLibraryW(absolute.c_str());
#else
  handle_ = dlopen(absolute.c_str(), RTLD_NOW | RTLD_LOCAL);
#endif
  if (handle_ == nullptr) fail("it is not a loadable library (" + lastError() + ")");
}

DynamicLibrary::~DynamicLibrary() { close(); }

DynamicLibrary::DynamicLibrary(DynamicLibrary&& other) noexcept
    : path_(std::move(other.path_)), handle_(std::exchange(other.handle_, nullptr)) {}

void* DynamicLibrary::symbol(const char* name) const {
  if (handle_ == nullptr) return nullptr;
#if defined(_WIN32)
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
#else
  return dlsym(handle_, name);
#endif
}

void DynamicLibrary::close() noexcept {
  if (handle_ == nullptr) return;
#if defined(_WIN32)
  FreeLibrary(static_cast<HMODULE>(handle_));
#else
  dlclose(handle_);
#endif
  handle_ = nullptr;
}

bool DynamicLibrary::isMapped(const std::filesystem::path& path) {
#if defined(_WIN32)
  return GetModuleHandleW(path.c_str()) != nullptr;
#else
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (handle != nullptr) dlclose(handle);
  return handle != nullptr;
#endif
}

}  // namespace standin
