#include "DynamicLibrary.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

#include "Quote.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <elf.h>

#include <fstream>
#include <vector>
#endif

namespace standin {
namespace {

#if !defined(_WIN32)
// Why the file cannot be mapped whole as a shared library of this machine, or empty when it can. The system
// loader maps a file by its program headers without checking the file's length, and a part that lies past
// the end of a file cut short (a partial download) kills the process at its first use; so the headers are
// read and held against the file's size first, as the Windows loader does itself.
std::string unmappable(const std::filesystem::path& path, std::uintmax_t size) {
  errno = 0;
  std::ifstream file(path, std::ios::binary);
  // Out of descriptors, say, the file is fine: what was refused is opening it.
  if (!file) return "cannot open it" + (errno != 0 ? ": " + systemReason(errno) : std::string());
  auto read = [&](std::uint64_t offset, void* into, std::size_t length) {
    return offset <= size && length <= size - offset && file.seekg(static_cast<std::streamoff>(offset)) &&
           file.read(static_cast<char*>(into), static_cast<std::streamsize>(length));
  };
  Elf64_Ehdr header{};
  if (!read(0, &header, sizeof header) || std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0) {
    return "it is not a loadable library (no ELF header)";
  }
#if defined(__x86_64__)
  constexpr Elf64_Half kMachine = EM_X86_64;
#elif defined(__aarch64__)
  constexpr Elf64_Half kMachine = EM_AARCH64;
#else
  const Elf64_Half kMachine = header.e_machine;  // the system loader tells other machines apart
#endif
  if (header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_ident[EI_DATA] != ELFDATA2LSB ||
      header.e_machine != kMachine) {
    return "it is not a loadable library (built for another machine)";
  }
  if (header.e_type != ET_DYN) return "it is not a loadable library (not a shared object)";
  std::vector<Elf64_Phdr> segments(header.e_phnum);
  if (header.e_phentsize != sizeof(Elf64_Phdr) ||
      !read(header.e_phoff, segments.data(), segments.size() * sizeof(Elf64_Phdr))) {
    return "it is cut short: its program headers lie past its end, at " + std::to_string(size) + " bytes";
  }
  for (const Elf64_Phdr& segment : segments) {
    if (segment.p_type == PT_LOAD &&
        (segment.p_offset > size || segment.p_filesz > size - segment.p_offset)) {
      return "it is cut short: " + std::to_string(size) + " bytes of the " +
             std::to_string(segment.p_offset + segment.p_filesz) + " its parts need";
    }
  }
  return "";
}
#endif

std::string lastError() {
#if defined(_WIN32)
  DWORD code = GetLastError();
  char* text = nullptr;
  FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                 nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message = text != nullptr ? text : "error " + std::to_string(code);
  LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) message.pop_back();
  return escape(message);
#else
  const char* text = dlerror();
  return text != nullptr ? escape(text) : "unknown error";
#endif
}

}  // namespace

DynamicLibrary::DynamicLibrary(const std::filesystem::path& path) : path_(path) {
  auto fail = [&](const std::string& reason) {
    throw LoadError("cannot load plugin " + escape(path.string()) + ": " + reason);
  };
  std::error_code error;
  std::filesystem::file_status status = std::filesystem::status(path, error);
  if (!std::filesystem::exists(status)) fail("no such file");
  if (std::filesystem::is_directory(status)) fail("it is a directory, not a plugin module");
  if (!std::filesystem::is_regular_file(status)) fail("it is not a regular file");
  // A bare name is the file in the current folder: made absolute, the name never reaches the system's
  // library search.
  std::filesystem::path absolute = std::filesystem::absolute(path, error);
  if (error) fail(escape(error.message()));
#if defined(_WIN32)
  handle_ = LoadLibraryW(absolute.c_str());
#else
  if (std::string why = unmappable(absolute, std::filesystem::file_size(absolute, error)); !why.empty()) {
    fail(why);
  }
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
