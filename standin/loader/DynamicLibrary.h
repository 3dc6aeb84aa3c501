// Opening a dynamic library by path and finding its exports, on Linux and on Windows.
#pragma once

#include <filesystem>
#include <stdexcept>

namespace standin {

/// A module that cannot be loaded; the message names the path and the reason.
class LoadError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// A dynamic library opened by path and closed when this goes.
class DynamicLibrary {
 public:
  explicit DynamicLibrary(const std::filesystem::path& path);
  ~DynamicLibrary();
  DynamicLibrary(DynamicLibrary&& other) noexcept;
  DynamicLibrary& operator=(DynamicLibrary&&) = delete;
  DynamicLibrary(const DynamicLibrary&) = delete;
  DynamicLibrary& operator=(const DynamicLibrary&) = delete;

  /// The address of an exported name, or nullptr.
  void* symbol(const char* name) const;
  void close() noexcept;
  /// Forgets the library without closing it, so that it stays mapped for as long as the process runs.
  void keepMapped() noexcept { handle_ = nullptr; }
  const std::filesystem::path& path() const { return path_; }
  /// Whether the operating system still has the library mapped into this process.
  static bool isMapped(const std::filesystem::path& path);

 private:
  std::filesystem::path path_;
  void* handle_ = nullptr;
};

}  // namespace standin
