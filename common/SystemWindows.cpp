// The seam (System.h) on Windows, where a file cannot be made without a name, runs cannot go on in child
// processes of the kind the validator uses, and system calls are not counted: each says so.
#include "common/System.h"

#if !defined(NOMINMAX)
#define NOMINMAX
#endif
#include <direct.h>
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <clocale>
// The C header: Wine's C runtime, which the Microsoft-ABI suite here builds against, lacks what <csignal>
// takes from it.
#include <signal.h>
#include <stdexcept>

namespace os {
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

constexpr Signal kEndingSignals[] = {{SIGINT, "SIGINT"}, {SIGTERM, "SIGTERM"}};
constexpr Signal kCrashSignals[] = {
    {SIGABRT, "SIGABRT"}, {SIGSEGV, "SIGSEGV"}, {SIGFPE, "SIGFPE"}, {SIGILL, "SIGILL"}};

void (*cleaningUp)() noexcept = nullptr;

// The handler was reset to the default on entry: raised again, the signal ends the process as it would have.
void endOnSignal(int signal) {
  cleaningUp();
  ::raise(signal);
}

std::string unsupported() { return "this system has no such thing"; }

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

std::FILE* openExclusive(const std::filesystem::path& path) {
  std::FILE* file = nullptr;
  if (errno_t error = _wfopen_s(&file, path.c_str(), L"wbx"); error != 0) {
    errno = error;
    return nullptr;
  }
  return file;
}

std::FILE* openUnnamed(const std::filesystem::path&) {
  errno = EOPNOTSUPP;
  return nullptr;
}

bool nameUnnamed(std::FILE*, const std::filesystem::path&) {
  errno = EOPNOTSUPP;
  return false;
}

bool flushToDisk(std::FILE* file) { return std::fflush(file) == 0 && _commit(_fileno(file)) == 0; }

std::optional<Ownership> ownershipOf(const std::filesystem::path& path) {
  std::error_code error;
  std::filesystem::file_status status = std::filesystem::status(path, error);
  if (!std::filesystem::is_regular_file(status)) return std::nullopt;
  return Ownership{static_cast<unsigned>(status.permissions() & std::filesystem::perms::all), -1, -1};
}

Ownership newFileOwnership() { return Ownership{0666, -1, -1}; }

// Windows keeps only whether a file is read-only, which a file being written cannot be: the bits go on with
// the rename.
bool handOver(std::FILE*, const Ownership&) { return true; }

void renameOver(const std::filesystem::path& from, const std::filesystem::path& to, unsigned mode,
                std::error_code& error) {
  std::filesystem::permissions(from, static_cast<std::filesystem::perms>(mode), error);
  if (!error) std::filesystem::rename(from, to, error);
}

void removeNow(const NativeChar* path) noexcept { _wunlink(path); }

bool writable(const std::filesystem::path&) { return true; }

bool plantedLink(const std::filesystem::path&) { return false; }

std::span<const Signal> endingSignals() { return kEndingSignals; }

std::span<const Signal> crashSignals() { return kCrashSignals; }

EndingSignalsHeld::EndingSignalsHeld() noexcept : before_{} {}

EndingSignalsHeld::~EndingSignalsHeld() = default;

void endCleanlyOnSignals(void (*cleanUp)() noexcept) {
  cleaningUp = cleanUp;
  for (const Signal& signal : kEndingSignals) {
    if (::signal(signal.number, &endOnSignal) == SIG_IGN) ::signal(signal.number, SIG_IGN);
  }
  for (const Signal& signal : kCrashSignals) ::signal(signal.number, &endOnSignal);
}

void protectStandardDescriptors() {}

std::optional<std::filesystem::path> programFolder() {
  wchar_t path[MAX_PATH];
  DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (length == 0 || length == MAX_PATH) return std::nullopt;
  return std::filesystem::path(std::wstring(path, length)).parent_path();
}

void currentFolder(std::span<char> into) noexcept {
  if (into.empty()) return;
  if (_getcwd(into.data(), static_cast<int>(into.size())) == nullptr) into[0] = '\0';
}

std::size_t threads() { return 0; }

std::string_view allocationsOfModulesUnseen() {
  return "each DLL carries its own C++ runtime, whose allocations this program cannot count";
}

std::span<const LocaleCategory> localeCategories() {
  static constexpr LocaleCategory kCategories[] = {
      {LC_CTYPE, "LC_CTYPE"},     {LC_NUMERIC, "LC_NUMERIC"},   {LC_TIME, "LC_TIME"},
      {LC_COLLATE, "LC_COLLATE"}, {LC_MONETARY, "LC_MONETARY"},
  };
  return kCategories;
}

void* openLibrary(const std::filesystem::path& path, std::string& why) {
  HMODULE library = LoadLibraryW(path.c_str());
  if (library == nullptr) {
    DWORD code = GetLastError();
    char* text = nullptr;
    FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = text != nullptr ? text : "error " + std::to_string(code);
    LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) message.pop_back();
    why = "it is not a loadable library (" + message + ")";
  }
  return library;
}

void* librarySymbol(void* library, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void closeLibrary(void* library) noexcept { FreeLibrary(static_cast<HMODULE>(library)); }

bool libraryMapped(const std::filesystem::path& path) { return GetModuleHandleW(path.c_str()) != nullptr; }

bool childRuns() { return false; }

ChildRun startChildRun(const std::function<void(int)>&) {
  throw std::system_error(std::make_error_code(std::errc::operation_not_supported), unsupported());
}

std::string confineRun() { return unsupported(); }

void endChildRunsNow() noexcept {}

bool sendMessage(int, std::string_view) { return false; }

std::optional<Message> receiveMessage(int, std::size_t) { return std::nullopt; }

void awaitWord(int) {}

void giveWord(int) {}

bool awaitActivity(const ChildRun&, std::chrono::milliseconds) { return false; }

void readOutput(ChildRun&, std::string&, std::size_t) {}

std::optional<ProcessEnd> endOf(const ChildRun&) { return std::nullopt; }

std::vector<Mapping> mappingsOf(int) { return {}; }

std::optional<FileIdentity> programOf(int) { return std::nullopt; }

std::vector<int> childProcesses() { return {}; }

void endChildRun(ChildRun&, const std::vector<int>&) {}

SystemCallCount countSystemCalls(const std::function<void()>&, const std::function<void()>&) {
  return {{}, "", "counting system calls needs Linux's seccomp filters on x86-64"};
}

}  // namespace os
