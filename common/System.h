// The operating system behind one seam: everything the stand-in host, the validator and the simulator ask of
// it that differs between systems. The build takes SystemPosix.cpp or SystemWindows.cpp, SystemProcessor.cpp
// for what differs by processor, and System.cpp for what each says the same way; no other file asks which
// system it runs on.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace os {

// Files.

using NativeChar = std::filesystem::path::value_type;

/// A file as the system tells files apart, whatever names it has: its device and its number there.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t number = 0;
  bool operator==(const FileIdentity&) const = default;
};

/// The regular file at the path, links followed; none for anything else or nothing.
std::optional<FileIdentity> identityOf(const std::filesystem::path& path);
/// The regular file open on a standard descriptor (0, 1 or 2); none for a terminal, a pipe or a closed one.
std::optional<FileIdentity> identityOfStandard(int descriptor);

/// Opens a new file under the name for writing, readable and writable by its owner alone; never one that
/// exists, whoever made it (errno EEXIST), and never through a link. nullptr, with errno, when it cannot.
std::FILE* openExclusive(const std::filesystem::path& path);
/// Opens a new file without a name in the folder, for writing and reading, readable and writable by its owner
/// alone: no end of the process, SIGKILL included, can leave it behind. nullptr with errno EOPNOTSUPP where
/// the system cannot make such a file or name it later; with another errno when the folder refuses it.
std::FILE* openUnnamed(const std::filesystem::path& folder);
/// Gives a file opened without a name the name; false, with errno, when it cannot (EEXIST for a name taken).
bool nameUnnamed(std::FILE* file, const std::filesystem::path& name);
/// Flushes the file's buffers and then the system's to the disk; false, with errno, when either fails.
bool flushToDisk(std::FILE* file);

/// Who owns a file and who may read and write it: its permission bits, without the set-user-ID and
/// set-group-ID bits, and its owner and group, or -1 where the system keeps none.
struct Ownership {
  unsigned mode = 0600;
  std::int64_t owner = -1;
  std::int64_t group = -1;
};
/// The ownership of the regular file at the path, links followed; none for anything else or nothing.
std::optional<Ownership> ownershipOf(const std::filesystem::path& path);
/// The ownership a new file gets: its permission bits under the process's umask, owned by whoever makes it.
Ownership newFileOwnership();
/// Gives the open file the ownership: its owner and group only where this user may give files away (an
/// administrator), its permission bits always. false, with errno, when what this user may do fails.
bool handOver(std::FILE* file, const Ownership& ownership);
/// Renames the file over the target, replacing whatever stands there, with the permission bits given where
/// the system sets them only by name.
void renameOver(const std::filesystem::path& from, const std::filesystem::path& to, unsigned mode,
                std::error_code& error);
/// Removes the file by name, and nothing else: safe in a signal handler.
void removeNow(const NativeChar* path) noexcept;
/// Whether this user may write the existing file.
bool writable(const std::filesystem::path& path);
/// Whether the path names a link in a sticky folder that anyone may write (such as /tmp), made by neither the
/// folder's owner nor this user: one that the kernel's protected_symlinks would not follow.
bool plantedLink(const std::filesystem::path& path);

// Signals and the process.

/// A signal and its name.
struct Signal {
  int number;
  std::string_view name;
};
/// The signals whose default action ends the process and that a user or the system sends to stop a run, as
/// this system has them.
std::span<const Signal> endingSignals();
/// The signals by which a crash or an abort ends the process.
std::span<const Signal> crashSignals();
/// The name of a signal, or its number.
std::string signalName(int signal);

/// While one lives, the ending signals wait: a handler for them never runs in between.
class EndingSignalsHeld {
 public:
  EndingSignalsHeld() noexcept;
  ~EndingSignalsHeld();
  EndingSignalsHeld(const EndingSignalsHeld&) = delete;
  EndingSignalsHeld& operator=(const EndingSignalsHeld&) = delete;

 private:
  // The mask before, as the system keeps it.
  alignas(8) unsigned char before_[128];
};

/// Has every ending signal that is not ignored (one ignored at start, as nohup and a shell's background jobs
/// do, stays ignored) call `cleanUp`, then end the process as the signal would; while one is handled every
/// other waits. Every crash signal calls `cleanUp` too, on a stack of its own, then goes on to whatever
/// handled it before. A broken pipe and a file-size limit fail the write instead of ending the process.
void endCleanlyOnSignals(void (*cleanUp)() noexcept);

/// Gives each of standard input, output and error that is closed a stand-in that fails every use (an input
/// that cannot be read, an output that cannot be written), so that no file or channel the program opens
/// takes its number.
void protectStandardDescriptors();

/// The folder of the running program; none where the system does not say (Linux without /proc).
std::optional<std::filesystem::path> programFolder();
/// The working directory into the buffer, cut to fit; empty when the system does not say. Allocates nothing.
void currentFolder(std::span<char> into) noexcept;
/// How many threads the process runs, or 0 where the system does not say.
std::size_t threads();
/// Why the running program cannot see the heap allocations of the modules it loads, or empty when it can
/// (each module takes the program's operator new).
std::string_view allocationsOfModulesUnseen();

/// A category of the C locale, as setlocale takes it.
struct LocaleCategory {
  int id;
  std::string_view name;
};
/// The C locale's categories, as this system has them (LC_ALL left out).
std::span<const LocaleCategory> localeCategories();

/// The processor's floating-point control (SSE's MXCSR without its flags, the x87 control word), where the
/// processor has it; zeros elsewhere.
struct FloatingPointControl {
  std::uint32_t sse = 0;
  std::uint16_t x87 = 0;
  bool operator==(const FloatingPointControl&) const = default;
};
FloatingPointControl floatingPointControl() noexcept;
void setFloatingPointControl(const FloatingPointControl& control) noexcept;

// Dynamic libraries.

/// Opens the library at the absolute path; nullptr, with the system's words in `why`, when it cannot. On
/// Linux a file whose parts lie past its end (a partial download) is refused before the loader maps it,
/// which would end the process at the first use, as the Windows loader refuses one itself.
void* openLibrary(const std::filesystem::path& path, std::string& why);
/// The address of a name the library exports, or nullptr.
void* librarySymbol(void* library, const char* name);
void closeLibrary(void* library) noexcept;
/// Whether the system still has the library at the path mapped into this process.
bool libraryMapped(const std::filesystem::path& path);

// Runs in child processes of their own, where a module the validator judges can do what it likes.

/// Whether runs can go on in child processes of their own here (Linux).
bool childRuns();

/// A run in a child process: its process, the caller's end of its channel, and where its output comes.
struct ChildRun {
  int process = -1;
  int channel = -1;
  int output = -1;
};

/// Starts `body` in a child process, the leader of a session of its own, with standard input empty and
/// standard output and error going to the run's output; `body` gets the child's end of the channel, and its
/// return ends the child with status 0. The child holds no other descriptor: none of the caller's ends, and
/// none that the caller inherited. The child ends when this process does, and this process takes in every
/// process that a run leaves behind. Throws std::system_error when the system cannot.
ChildRun startChildRun(const std::function<void(int channel)>& body);
/// Called by a run before any of its module's code: keeps the run and everything it starts from reaching the
/// process that judges it (tracing, signalling or stopping it, its memory and descriptors), and from its
/// terminal, and gives up every privilege for good. Why it cannot, or empty.
std::string confineRun();

/// A message on a channel, and the process that sent it, as the kernel vouches for it.
struct Message {
  std::string text;
  int sender = 0;
};
/// Sends one message; false when it cannot.
bool sendMessage(int channel, std::string_view text);
/// The message waiting on the channel, at most `most` bytes of it; none when nothing whole waits.
std::optional<Message> receiveMessage(int channel, std::size_t most);
/// Waits for the other end's word, or its end.
void awaitWord(int channel);
/// Gives the word without waiting.
void giveWord(int channel);

/// Waits at most `most` for the run's channel or output to have something; false, with errno, when waiting
/// fails.
bool awaitActivity(const ChildRun& run, std::chrono::milliseconds most);
/// Reads what waits on the run's output, a bounded amount at a time, keeping at most `keep` bytes in all; at
/// its end, closes it, so that waiting no longer wakes for it.
void readOutput(ChildRun& run, std::string& into, std::size_t keep);

/// How a process ended: by exiting with a status, or by a signal.
struct ProcessEnd {
  bool exited;
  int status;
};
/// How the run's process ended, seen without reaping it (its number stays its own); none while it runs.
std::optional<ProcessEnd> endOf(const ChildRun& run);

/// One mapping of a process: whether it can run code, and the file it comes from or, for anonymous memory,
/// its name (such as [vdso]).
struct Mapping {
  bool executable = false;
  std::optional<FileIdentity> file;
  std::string name;
};
/// The mappings of a process (0: this one); empty when they cannot be read, or the process has ended.
std::vector<Mapping> mappingsOf(int process);
/// The program file a process (0: this one) runs.
std::optional<FileIdentity> programOf(int process);

/// Ends the run going on now, and its group, at once; safe in a signal handler.
void endChildRunsNow() noexcept;
/// This process's child processes now.
std::vector<int> childProcesses();
/// Ends the run's process group, reaps the run, and ends every process it left behind, generation after
/// generation, for up to two seconds; the processes in `callersOwn` are left alone. Closes the run's ends.
void endChildRun(ChildRun& run, const std::vector<int>& callersOwn);

/// The system calls that `measured` makes (Linux on x86-64, without a sanitizer's runtime, which makes calls
/// of its own): it runs in a forked child, after `warmUp`, with every system call trapped by a seccomp filter
/// but those the trap needs; none is carried out, each fails with ENOSYS.
struct SystemCallCount {
  /// Their numbers, in order, at most 64 of them.
  std::vector<long> numbers;
  /// How the code was cut short under the count (it threw, or ended the process), or empty.
  std::string cutShort;
  /// Why nothing could be counted, or empty.
  std::string unseen;
};
SystemCallCount countSystemCalls(const std::function<void()>& warmUp, const std::function<void()>& measured);

}  // namespace os
