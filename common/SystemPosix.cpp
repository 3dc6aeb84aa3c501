// The seam (System.h) on POSIX systems, of which the project builds for Linux: unnamed files, runs in child
// processes and counting system calls are Linux's own.
#include "common/System.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <map>
#include <new>
#include <sstream>
#include <stdexcept>
#include <vector>

#include <elf.h>
#include <linux/audit.h>
#include <linux/capability.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <linux/securebits.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <ucontext.h>

namespace os {
namespace {

std::optional<FileIdentity> identityOfStatus(int result, const struct stat& status) {
  if (result != 0 || !S_ISREG(status.st_mode)) return std::nullopt;
  return FileIdentity{static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino)};
}

std::filesystem::path folderOf(const std::filesystem::path& path) {
  return path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
}

// The name through which a file without one is given a name, while its descriptor is open.
std::string descriptorPath(std::FILE* file) { return "/proc/self/fd/" + std::to_string(fileno(file)); }

constexpr Signal kEndingSignals[] = {
    {SIGINT, "SIGINT"},   {SIGTERM, "SIGTERM"}, {SIGHUP, "SIGHUP"},   {SIGQUIT, "SIGQUIT"},
    {SIGUSR1, "SIGUSR1"}, {SIGUSR2, "SIGUSR2"}, {SIGALRM, "SIGALRM"}, {SIGVTALRM, "SIGVTALRM"},
    {SIGPROF, "SIGPROF"}, {SIGXCPU, "SIGXCPU"}, {SIGPWR, "SIGPWR"},   {SIGSTKFLT, "SIGSTKFLT"},
};
constexpr Signal kCrashSignals[] = {
    {SIGABRT, "SIGABRT"}, {SIGSEGV, "SIGSEGV"}, {SIGFPE, "SIGFPE"}, {SIGILL, "SIGILL"},
    {SIGBUS, "SIGBUS"},   {SIGTRAP, "SIGTRAP"}, {SIGSYS, "SIGSYS"},
};

sigset_t endingSet() {
  sigset_t set;
  sigemptyset(&set);
  for (const Signal& signal : kEndingSignals) sigaddset(&set, signal.number);
  return set;
}

void (*cleaningUp)() noexcept = nullptr;
// What handled each crash signal before: a sanitizer's runtime, say, which reports the crash.
struct sigaction crashedBefore[NSIG];
// A stack of its own, so that a crash by stack overflow still runs the handler.
alignas(16) char crashStack[64 * 1024];

void endOnSignal(int signal) {
  cleaningUp();
  // Every ending signal is held while this runs. The default action, then the signal again, pending until the
  // handler returns: it ends the process as it would have, and the parent sees which signal it was.
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  sigaction(signal, &action, nullptr);
  raise(signal);
}

// A fault the processor raised comes back, with its own context, when the faulting instruction runs again on
// return; a signal sent (abort, kill) is sent again, and so are a breakpoint's trap and a refused system
// call's, whose instructions are done and would not run again.
void endOnCrash(int signal, siginfo_t* info, void*) {
  cleaningUp();
  sigaction(signal, &crashedBefore[signal], nullptr);
  if (info->si_code <= 0 || signal == SIGABRT || signal == SIGTRAP || signal == SIGSYS) raise(signal);
}

// Why the file cannot be mapped whole as a shared library of this machine, or empty when it can. The system
// loader maps a file by its program headers without checking the file's length, and a part that lies past the
// end of a file cut short (a partial download) kills the process at its first use; so the headers are read
// and held against the file's size first, as the Windows loader does itself.
std::string unmappable(const std::filesystem::path& path) {
  std::error_code error;
  std::uintmax_t size = std::filesystem::file_size(path, error);
  errno = 0;
  std::ifstream file(path, std::ios::binary);
  // Out of descriptors, say, the file is fine: what was refused is opening it.
  if (error || !file) {
    return "cannot open it" + (errno != 0 ? ": " + std::generic_category().message(errno) : std::string());
  }
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

std::string processFile(int process, const char* name) {
  return "/proc/" + (process == 0 ? std::string("self") : std::to_string(process)) + "/" + name;
}

std::optional<Mapping> mappingOf(const std::string& line) {
  std::istringstream fields(line);
  std::string range, permissions, offset, device;
  std::uint64_t inode = 0;
  if (!(fields >> range >> permissions >> offset >> device >> inode)) return std::nullopt;
  Mapping mapping;
  mapping.executable = permissions.find('x') != std::string::npos;
  unsigned major = 0;
  unsigned minor = 0;
  if (inode != 0 && std::sscanf(device.c_str(), "%x:%x", &major, &minor) == 2) {
    mapping.file = FileIdentity{static_cast<std::uint64_t>(makedev(major, minor)), inode};
  } else {
    std::getline(fields >> std::ws, mapping.name);
  }
  return mapping;
}

// Shared with the parent: the child writes what it trapped here, since writing to a pipe would be a call.
struct Trapped {
  std::atomic<int> count;
  long numbers[64];
  int finished;
};
Trapped* trapped = nullptr;

// The run going on now, which a signal that ends this process ends too.
std::atomic<pid_t> running{0};
static_assert(std::atomic<pid_t>::is_always_lock_free);

#if defined(__x86_64__)
// The trapped call is not carried out; it returns -ENOSYS, as a call the kernel does not know, so that the
// code goes on to its end with the failure it can handle, instead of taking the call's number for a result.
void onTrap(int, siginfo_t* info, void* context) {
  int at = trapped->count.fetch_add(1);
  if (at < 64) trapped->numbers[at] = info->si_syscall;
  static_cast<ucontext_t*>(context)->uc_mcontext.gregs[REG_RAX] = -ENOSYS;
}

// Allows the calls that returning from the trap and ending the child need; traps every other.
bool trapEverything() {
  sock_filter filter[] = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_X86_64, 1, 0),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_KILL_PROCESS),
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_rt_sigreturn, 2, 0),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_exit_group, 1, 0),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_TRAP),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
  };
  sock_fprog program{static_cast<unsigned short>(sizeof filter / sizeof filter[0]), filter};
  return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
         syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER, 0, &program) == 0;
}
#endif

#if defined(__x86_64__)
// Refuses what a run may not do to the process that judges it, whatever its module asks: trace any process,
// reach into another's memory or descriptors, push input into a terminal, or signal the judge, the judge's
// group or every process. A call through another table of system calls (32-bit, x32) would pass by the
// filter's numbers, so it ends the run.
bool refuseReachingTheJudge(pid_t judge) {
  enum Target { Next, Refuse, End, Terminal, Signal, Allow };
  struct Step {
    sock_filter code;
    Target whenTrue = Next;
    Target whenFalse = Next;
  };
  auto load = [](std::uint32_t offset) { return Step{BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offset)}; };
  auto jumpIf = [](std::uint16_t test, std::uint32_t value, Target whenTrue, Target whenFalse = Next) {
    return Step{BPF_JUMP(BPF_JMP | test | BPF_K, value, 0, 0), whenTrue, whenFalse};
  };
  auto ret = [](std::uint32_t action) { return Step{BPF_STMT(BPF_RET | BPF_K, action)}; };
  // The low half of an argument: process numbers and ioctl requests are 32-bit values.
  auto argument = [](int index) {
    return static_cast<std::uint32_t>(offsetof(seccomp_data, args) + 8 * index);
  };
  std::vector<Step> steps = {load(offsetof(seccomp_data, arch)),
                             jumpIf(BPF_JEQ, AUDIT_ARCH_X86_64, Next, End), load(offsetof(seccomp_data, nr)),
                             jumpIf(BPF_JGE, 0x40000000, End)};
  for (long number : {__NR_ptrace, __NR_process_vm_readv, __NR_process_vm_writev, __NR_pidfd_open}) {
    steps.push_back(jumpIf(BPF_JEQ, static_cast<std::uint32_t>(number), Refuse));
  }
  steps.push_back(jumpIf(BPF_JEQ, __NR_ioctl, Terminal));
  for (long number : {__NR_kill, __NR_tkill, __NR_tgkill, __NR_rt_sigqueueinfo, __NR_rt_tgsigqueueinfo}) {
    steps.push_back(jumpIf(BPF_JEQ, static_cast<std::uint32_t>(number), Signal));
  }
  steps.push_back(ret(SECCOMP_RET_ALLOW));
  std::map<Target, std::size_t> at;
  at[Terminal] = steps.size();
  steps.push_back(load(argument(1)));
  steps.push_back(jumpIf(BPF_JEQ, TIOCSTI, Refuse, Allow));
  at[Signal] = steps.size();
  steps.push_back(load(argument(0)));
  for (pid_t target : {judge, -getpgid(judge), pid_t{-1}}) {
    steps.push_back(jumpIf(BPF_JEQ, static_cast<std::uint32_t>(target), Refuse));
  }
  at[Allow] = steps.size();
  steps.push_back(ret(SECCOMP_RET_ALLOW));
  at[Refuse] = steps.size();
  steps.push_back(ret(SECCOMP_RET_ERRNO | EPERM));
  at[End] = steps.size();
  steps.push_back(ret(SECCOMP_RET_KILL_PROCESS));
  std::vector<sock_filter> filter;
  for (std::size_t i = 0; i < steps.size(); ++i) {
    auto offset = [&](Target target) {
      return static_cast<std::uint8_t>(target == Next ? 0 : at[target] - i - 1);
    };
    filter.push_back(steps[i].code);
    filter.back().jt = offset(steps[i].whenTrue);
    filter.back().jf = offset(steps[i].whenFalse);
  }
  sock_fprog program{static_cast<unsigned short>(filter.size()), filter.data()};
  return syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER, 0, &program) == 0;
}
#endif

void closeIfOpen(int& descriptor) {
  if (descriptor >= 0) close(descriptor);
  descriptor = -1;
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

std::FILE* openExclusive(const std::filesystem::path& path) {
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
}

std::FILE* openUnnamed(const std::filesystem::path& folder) {
  static const bool nameable = access("/proc/self/fd", X_OK) == 0;
  int descriptor = nameable ? open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600) : -1;
  if (!nameable || (descriptor < 0 && (errno == EISDIR || errno == EINVAL))) errno = EOPNOTSUPP;
  if (descriptor < 0) return nullptr;
  std::FILE* file = fdopen(descriptor, "w+b");
  if (file == nullptr) close(descriptor);
  return file;
}

bool nameUnnamed(std::FILE* file, const std::filesystem::path& name) {
  return linkat(AT_FDCWD, descriptorPath(file).c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0;
}

bool flushToDisk(std::FILE* file) { return std::fflush(file) == 0 && fsync(fileno(file)) == 0; }

std::optional<Ownership> ownershipOf(const std::filesystem::path& path) {
  struct stat status {};
  if (stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return std::nullopt;
  return Ownership{status.st_mode & 0777, status.st_uid, status.st_gid};
}

Ownership newFileOwnership() {
  mode_t mask = umask(0);
  umask(mask);
  return Ownership{0666 & ~mask, -1, -1};
}

bool handOver(std::FILE* file, const Ownership& ownership) {
  int descriptor = fileno(file);
  // Only root may give a file away; anyone else's replacement is theirs, as with any program that saves by
  // renaming, but keeps the group where they belong to it, so that whoever shared the file through the group
  // still can.
  if (ownership.owner >= 0 &&
      fchown(descriptor, static_cast<uid_t>(ownership.owner), static_cast<gid_t>(ownership.group)) != 0) {
    if (geteuid() == 0) return false;
    [[maybe_unused]] int ignored =
        fchown(descriptor, static_cast<uid_t>(-1), static_cast<gid_t>(ownership.group));
  }
  return fchmod(descriptor, static_cast<mode_t>(ownership.mode)) == 0;
}

void renameOver(const std::filesystem::path& from, const std::filesystem::path& to, unsigned,
                std::error_code& error) {
  std::filesystem::rename(from, to, error);
}

void removeNow(const NativeChar* path) noexcept { unlink(path); }

bool writable(const std::filesystem::path& path) { return access(path.c_str(), W_OK) == 0; }

bool plantedLink(const std::filesystem::path& path) {
  struct stat link {};
  struct stat folder {};
  if (lstat(path.c_str(), &link) != 0 || !S_ISLNK(link.st_mode) ||
      stat(folderOf(path).c_str(), &folder) != 0) {
    return false;
  }
  bool shared = (folder.st_mode & S_ISVTX) != 0 && (folder.st_mode & S_IWOTH) != 0;
  return shared && link.st_uid != folder.st_uid && link.st_uid != geteuid();
}

std::span<const Signal> endingSignals() { return kEndingSignals; }

std::span<const Signal> crashSignals() { return kCrashSignals; }

EndingSignalsHeld::EndingSignalsHeld() noexcept {
  static_assert(sizeof(sigset_t) <= sizeof before_);
  sigset_t ending = endingSet();
  sigprocmask(SIG_BLOCK, &ending, new (before_) sigset_t);
}

EndingSignalsHeld::~EndingSignalsHeld() {
  sigprocmask(SIG_SETMASK, std::launder(reinterpret_cast<sigset_t*>(before_)), nullptr);
}

void endCleanlyOnSignals(void (*cleanUp)() noexcept) {
  cleaningUp = cleanUp;
  struct sigaction action {};
  action.sa_handler = &endOnSignal;
  action.sa_mask = endingSet();
  for (const Signal& signal : kEndingSignals) {
    struct sigaction before {};
    if (sigaction(signal.number, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) continue;
    sigaction(signal.number, &action, nullptr);
  }
  stack_t stack{};
  stack.ss_sp = crashStack;
  stack.ss_size = sizeof crashStack;
  sigaltstack(&stack, nullptr);
  struct sigaction crash {};
  crash.sa_sigaction = &endOnCrash;
  crash.sa_flags = SA_SIGINFO | SA_ONSTACK;
  sigemptyset(&crash.sa_mask);
  for (const Signal& signal : kCrashSignals) sigaction(signal.number, &crash, &crashedBefore[signal.number]);
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
}

void protectStandardDescriptors() {
  for (int descriptor : {0, 1, 2}) {
    if (fcntl(descriptor, F_GETFD) != -1) continue;
    // The lowest free number is this one. Open the other way round, so that every use fails.
    int opened = open("/dev/null", descriptor == 0 ? O_WRONLY : O_RDONLY);
    if (opened != descriptor && opened >= 0) close(opened);
  }
}

std::optional<std::filesystem::path> programFolder() {
  std::error_code error;
  std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error || !program.is_absolute()) return std::nullopt;
  return program.parent_path();
}

void currentFolder(std::span<char> into) noexcept {
  if (into.empty()) return;
  if (getcwd(into.data(), into.size()) == nullptr) into[0] = '\0';
}

std::size_t threads() {
  std::error_code error;
  std::filesystem::directory_iterator task("/proc/self/task", error);
  if (error) return 0;
  std::size_t count = 0;
  for (auto end = std::filesystem::directory_iterator(); task != end; task.increment(error)) {
    if (error) return 0;
    ++count;
  }
  return count;
}

std::string_view allocationsOfModulesUnseen() { return ""; }

std::span<const LocaleCategory> localeCategories() {
  static constexpr LocaleCategory kCategories[] = {
      {LC_CTYPE, "LC_CTYPE"},     {LC_NUMERIC, "LC_NUMERIC"},   {LC_TIME, "LC_TIME"},
      {LC_COLLATE, "LC_COLLATE"}, {LC_MONETARY, "LC_MONETARY"}, {LC_MESSAGES, "LC_MESSAGES"},
  };
  return kCategories;
}

void* openLibrary(const std::filesystem::path& path, std::string& why) {
  why = unmappable(path);
  if (!why.empty()) return nullptr;
  void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    const char* error = dlerror();
    why = "it is not a loadable library (" + std::string(error != nullptr ? error : "unknown error") + ")";
  }
  return library;
}

void* librarySymbol(void* library, const char* name) { return dlsym(library, name); }

void closeLibrary(void* library) noexcept { dlclose(library); }

bool libraryMapped(const std::filesystem::path& path) {
  void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (library != nullptr) dlclose(library);
  return library != nullptr;
}

bool childRuns() { return true; }

ChildRun startChildRun(const std::function<void(int channel)>& body) {
  // Whatever a run starts comes back to this process when its parent ends, to be ended too.
  static const bool reaps = prctl(PR_SET_CHILD_SUBREAPER, 1) == 0;
  if (!reaps) throw std::system_error(errno, std::generic_category(), "cannot take in what a run leaves");
  // A run is this user's, and could otherwise open this process's descriptors and memory through /proc.
  // Not under a sanitizer, whose leak checker traces this process from a task of its own.
  if (!KORVINDEL_ADDRESS_SANITIZER) prctl(PR_SET_DUMPABLE, 0);
  const pid_t judge = getpid();
  int pair[2];
  int pipeEnds[2];
  if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0) {
    throw std::system_error(errno, std::generic_category(), "cannot make a channel");
  }
  int one = 1;
  if (setsockopt(pair[0], SOL_SOCKET, SO_PASSCRED, &one, sizeof one) != 0 ||
      pipe2(pipeEnds, O_CLOEXEC) != 0) {
    int error = errno;
    close(pair[0]);
    close(pair[1]);
    throw std::system_error(error, std::generic_category(), "cannot make a channel");
  }
  pid_t process = fork();
  if (process < 0) {
    int error = errno;
    for (int descriptor : {pair[0], pair[1], pipeEnds[0], pipeEnds[1]}) close(descriptor);
    throw std::system_error(error, std::generic_category(), "cannot start a child process");
  }
  if (process == 0) {
    // A session of its own: the run's processes are one group that ends together, and no terminal of the
    // caller's is theirs to write to or to push input into. The run ends with the caller, however that ends.
    setsid();
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != judge) _exit(125);
    // The run holds its own ends alone: none of the caller's, and no descriptor that whoever started the
    // caller left open to it (a log, a report), which the module could otherwise write to.
    int nothing = open("/dev/null", O_RDONLY);
    if (nothing < 0 || dup2(nothing, 0) < 0 || dup2(pipeEnds[1], 1) < 0 || dup2(pipeEnds[1], 2) < 0 ||
        dup2(pair[1], 3) < 0) {
      _exit(125);
    }
    // Kernels before 5.9 have no close_range.
    if (close_range(4, ~0U, 0) != 0) {
      for (long descriptor = 4; descriptor < sysconf(_SC_OPEN_MAX); ++descriptor)
        close(static_cast<int>(descriptor));
    }
    body(3);
    _exit(0);
  }
  running = process;
  close(pair[1]);
  close(pipeEnds[1]);
  fcntl(pipeEnds[0], F_SETFL, O_NONBLOCK);
  return {process, pair[0], pipeEnds[0]};
}

std::string confineRun() {
  // Root's capabilities would let the run open the judge's descriptors and memory through /proc whatever the
  // judge allows, and running a program would give them back to root: a run needs none. Only root may lock
  // that (CAP_SETPCAP); any other user has nothing to lock.
  prctl(PR_SET_SECUREBITS, SECBIT_NOROOT | SECBIT_NOROOT_LOCKED | SECBIT_NO_SETUID_FIXUP |
                               SECBIT_NO_SETUID_FIXUP_LOCKED | SECBIT_KEEP_CAPS_LOCKED);
  prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0);
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct none[_LINUX_CAPABILITY_U32S_3]{};
  if (syscall(SYS_capset, &header, none) != 0 || prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) {
    return "cannot give up its privileges: " + std::generic_category().message(errno);
  }
#if defined(__x86_64__)
  if (!refuseReachingTheJudge(getppid())) {
    return "the system refused the filter that keeps it from its judge: " +
           std::generic_category().message(errno);
  }
#endif
  // Its judge, this user or root, must still read its mappings.
  prctl(PR_SET_DUMPABLE, 1);
  return "";
}

bool sendMessage(int channel, std::string_view text) {
  return send(channel, text.data(), text.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(text.size());
}

std::optional<Message> receiveMessage(int channel, std::size_t most) {
  Message received;
  received.text.resize(most);
  iovec part{received.text.data(), received.text.size()};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(ucred))];
  msghdr header{};
  header.msg_iov = &part;
  header.msg_iovlen = 1;
  header.msg_control = control;
  header.msg_controllen = sizeof control;
  // A peer that ended with messages of its own unread reports that once, before what waits here.
  ssize_t got = recvmsg(channel, &header, MSG_DONTWAIT);
  if (got < 0 && errno == ECONNRESET) got = recvmsg(channel, &header, MSG_DONTWAIT);
  if (got <= 0) return std::nullopt;
  received.text.resize(static_cast<std::size_t>(got));
  for (cmsghdr* item = CMSG_FIRSTHDR(&header); item != nullptr; item = CMSG_NXTHDR(&header, item)) {
    if (item->cmsg_level == SOL_SOCKET && item->cmsg_type == SCM_CREDENTIALS) {
      ucred credentials{};
      std::memcpy(&credentials, CMSG_DATA(item), sizeof credentials);
      received.sender = credentials.pid;
    }
  }
  return received;
}

void awaitWord(int channel) {
  char word = 0;
  while (recv(channel, &word, 1, 0) < 0 && errno == EINTR) {
  }
}

void giveWord(int channel) {
  char word = 1;
  send(channel, &word, 1, MSG_NOSIGNAL | MSG_DONTWAIT);
}

bool awaitActivity(const ChildRun& run, std::chrono::milliseconds most) {
  pollfd watched[] = {{run.channel, POLLIN, 0}, {run.output, POLLIN, 0}};
  return poll(watched, 2, static_cast<int>(most.count())) >= 0 || errno == EINTR;
}

void readOutput(ChildRun& run, std::string& into, std::size_t keep) {
  char buffer[4096];
  for (int chunk = 0; chunk < 16 && run.output >= 0; ++chunk) {
    ssize_t got = read(run.output, buffer, sizeof buffer);
    if (got == 0) closeIfOpen(run.output);
    if (got <= 0) return;
    into.append(buffer, std::min(static_cast<std::size_t>(got), keep - std::min(keep, into.size())));
  }
}

std::optional<ProcessEnd> endOf(const ChildRun& run) {
  siginfo_t end{};
  if (waitid(P_PID, static_cast<id_t>(run.process), &end, WEXITED | WNOHANG | WNOWAIT) != 0 ||
      end.si_pid != run.process) {
    return std::nullopt;
  }
  return ProcessEnd{end.si_code == CLD_EXITED, end.si_status};
}

std::vector<Mapping> mappingsOf(int process) {
  std::vector<Mapping> mappings;
  std::ifstream maps(processFile(process, "maps"));
  for (std::string line; std::getline(maps, line);) {
    if (std::optional<Mapping> mapping = mappingOf(line)) mappings.push_back(*mapping);
  }
  return mappings;
}

std::optional<FileIdentity> programOf(int process) { return identityOf(processFile(process, "exe")); }

std::vector<int> childProcesses() {
  std::vector<int> found;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
    const std::string name = entry.path().filename().string();
    if (name.empty() || !std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      continue;
    }
    std::ifstream stat(entry.path() / "stat");
    std::string text;
    std::getline(stat, text);
    // The command's name, in parentheses, may hold anything; the fields after it do not.
    std::size_t end = text.rfind(')');
    if (end == std::string::npos) continue;
    std::istringstream fields(text.substr(end + 1));
    std::string state;
    long parent = 0;
    if (fields >> state >> parent && parent == getpid()) found.push_back(std::stoi(name));
  }
  return found;
}

void endChildRunsNow() noexcept {
  if (pid_t run = running; run > 0) {
    kill(-run, SIGKILL);
    kill(run, SIGKILL);
  }
}

void endChildRun(ChildRun& run, const std::vector<int>& callersOwn) {
  // The group first, while the run, ended or not, still holds its number, and so its group's.
  kill(-run.process, SIGKILL);
  kill(run.process, SIGKILL);
  running = 0;
  while (waitpid(run.process, nullptr, 0) < 0 && errno == EINTR) {
  }
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (std::chrono::steady_clock::now() < giveUp) {
    std::vector<int> left = childProcesses();
    std::erase_if(left, [&](int process) {
      return std::find(callersOwn.begin(), callersOwn.end(), process) != callersOwn.end();
    });
    if (left.empty()) break;
    for (int process : left) {
      kill(-process, SIGKILL);
      kill(process, SIGKILL);
    }
    for (int process : left) {
      while (waitpid(process, nullptr, 0) < 0 && errno == EINTR) {
      }
    }
  }
  closeIfOpen(run.channel);
  closeIfOpen(run.output);
}

SystemCallCount countSystemCalls([[maybe_unused]] const std::function<void()>& warmUp,
                                 [[maybe_unused]] const std::function<void()>& measured) {
#if defined(__x86_64__)
  if (KORVINDEL_ADDRESS_SANITIZER) return {{}, "", "a sanitizer's runtime makes system calls of its own"};
  void* memory = mmap(nullptr, sizeof(Trapped), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  if (memory == MAP_FAILED) {
    return {{}, "", "cannot share memory with a child: " + std::generic_category().message(errno)};
  }
  trapped = new (memory) Trapped{};
  pid_t child = fork();
  if (child < 0) {
    munmap(memory, sizeof(Trapped));
    return {{}, "", "cannot start a child process: " + std::generic_category().message(errno)};
  }
  if (child == 0) {
    warmUp();
    // A crash under the count ends the child: a handler of the caller's could not even end it there, every
    // call it makes being trapped, and would meet the crash again and again.
    for (const Signal& signal : kCrashSignals) std::signal(signal.number, SIG_DFL);
    struct sigaction action {};
    action.sa_sigaction = &onTrap;
    action.sa_flags = SA_SIGINFO;
    sigaction(SIGSYS, &action, nullptr);
    if (!trapEverything()) {
      trapped->finished = 3;
      syscall(SYS_exit_group, 0);
    }
    try {
      measured();
      trapped->finished = 1;
    } catch (...) {
      trapped->finished = 2;
    }
    syscall(SYS_exit_group, 0);
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  SystemCallCount counted;
  counted.numbers.assign(trapped->numbers, trapped->numbers + std::min(trapped->count.load(), 64));
  if (trapped->finished == 2) counted.cutShort = "the frames under the count threw when a call failed";
  if (trapped->finished == 0) {
    counted.cutShort = "the frames under the count ended the process " +
                       (WIFSIGNALED(status) ? "by " + signalName(WTERMSIG(status))
                                            : "with status " + std::to_string(WEXITSTATUS(status)));
  }
  if (trapped->finished == 3) counted.unseen = "the system refused the filter that counts system calls";
  munmap(memory, sizeof(Trapped));
  return counted;
#else
  return {{}, "", "counting system calls needs Linux's seccomp filters on x86-64"};
#endif
}

}  // namespace os
