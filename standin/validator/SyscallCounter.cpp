#include "SyscallCounter.h"

#include <algorithm>
#include <new>
#include <stdexcept>
#include <string>

#if defined(__linux__) && defined(__x86_64__) && !defined(__SANITIZE_ADDRESS__)
#define KORVINDEL_SECCOMP 1
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <ucontext.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstring>

#include "Quote.h"
#endif

namespace standin::syscallcounter {

#if defined(KORVINDEL_SECCOMP)
namespace {

// Shared with the parent: the child writes what it trapped here, since writing to a pipe would be a call.
struct Trapped {
  std::atomic<int> count;
  long numbers[64];
  int finished;
};
Trapped* trapped = nullptr;

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

std::string describeEnd(int status) {
  if (WIFSIGNALED(status)) {
    const char* name = strsignal(WTERMSIG(status));
    return "the frames under the count ended the process by signal " + std::to_string(WTERMSIG(status)) +
           (name != nullptr ? " (" + escape(name) + ")" : "");
  }
  return "the frames under the count ended the process with status " + std::to_string(WEXITSTATUS(status));
}

}  // namespace
#endif

std::string unavailable() {
#if defined(KORVINDEL_SECCOMP)
  return "";
#elif defined(__SANITIZE_ADDRESS__)
  return "a sanitizer's runtime makes system calls of its own";
#else
  return "counting system calls needs Linux's seccomp filters on x86-64";
#endif
}

Counted madeBy(const std::function<void()>& warmUp, const std::function<void()>& measured) {
#if defined(KORVINDEL_SECCOMP)
  void* memory = mmap(nullptr, sizeof(Trapped), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  if (memory == MAP_FAILED) return {{}, "", "cannot share memory with a child: " + systemReason(errno)};
  trapped = new (memory) Trapped{};
  pid_t child = fork();
  if (child < 0) {
    munmap(memory, sizeof(Trapped));
    return {{}, "", "cannot start a child process: " + systemReason(errno)};
  }
  if (child == 0) {
    warmUp();
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
  Counted counted;
  counted.numbers.assign(trapped->numbers, trapped->numbers + std::min(trapped->count.load(), 64));
  if (trapped->finished == 2) counted.cutShort = "the frames under the count threw when a call failed";
  if (trapped->finished == 0) counted.cutShort = describeEnd(status);
  if (trapped->finished == 3) counted.unseen = "the system refused the filter that counts system calls";
  munmap(memory, sizeof(Trapped));
  return counted;
#else
  static_cast<void>(warmUp);
  static_cast<void>(measured);
  return {{}, "", unavailable()};
#endif
}

}  // namespace standin::syscallcounter
