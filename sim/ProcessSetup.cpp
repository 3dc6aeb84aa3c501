#include "ProcessSetup.h"

#include <csignal>

#include "AtomicFile.h"

namespace sim {
namespace {

#if defined(_WIN32)
constexpr int kEndingSignals[] = {SIGINT, SIGTERM};
#else
constexpr int kEndingSignals[] = {
    SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU,
#if defined(SIGPWR)
    SIGPWR,
#endif
};
#endif
// The signals by which a crash or an abort ends the process, the plugin's own included.
constexpr int kCrashSignals[] = {SIGABRT, SIGSEGV, SIGFPE, SIGILL,
#if defined(SIGBUS)
                                 SIGBUS
#endif
};

#if defined(_WIN32)
// A crash leaves no temporary either; then the signal, raised again with the default action, ends the
// process.
void endOnCrash(int signal) {
  removeTemporaries();
  std::raise(signal);
}
#else
// What handled each crash signal before: a sanitizer's runtime, say, which reports the crash.
struct sigaction crashedBefore[NSIG];
// A stack of its own, so that a crash by stack overflow still runs the handler.
alignas(16) char crashStack[64 * 1024];

// A crash leaves no temporary either; then the signal goes on as it would have, to the handler before or to
// the default action. A fault the processor raised comes back, with its own context, when the faulting
// instruction runs again on return; a signal sent (abort, kill) is sent again.
void endOnCrash(int signal, siginfo_t* info, void*) {
  removeTemporaries();
  sigaction(signal, &crashedBefore[signal], nullptr);
  if (info->si_code <= 0 || signal == SIGABRT) raise(signal);
}
#endif

void endOnSignal(int signal) {
  removeTemporaries();
#if defined(_WIN32)
  // The handler was reset to the default on entry: raised again, the signal ends the process as it would
  // have.
  std::raise(signal);
#else
  // Every ending signal is held while this runs. The default action, then the signal again, pending until the
  // handler returns: it ends the process as it would have, and the parent sees which signal it was.
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  sigaction(signal, &action, nullptr);
  raise(signal);
#endif
}

}  // namespace

std::span<const int> endingSignals() { return kEndingSignals; }

std::span<const int> crashSignals() { return kCrashSignals; }

void endCleanlyOnSignals() {
#if defined(_WIN32)
  for (int signal : kEndingSignals) {
    if (std::signal(signal, &endOnSignal) == SIG_IGN) std::signal(signal, SIG_IGN);
  }
  for (int signal : kCrashSignals) std::signal(signal, &endOnCrash);
#else
  stack_t crashStackInUse{};
  crashStackInUse.ss_sp = crashStack;
  crashStackInUse.ss_size = sizeof crashStack;
  sigaltstack(&crashStackInUse, nullptr);
  struct sigaction crash {};
  crash.sa_sigaction = &endOnCrash;
  crash.sa_flags = SA_SIGINFO | SA_ONSTACK;
  sigemptyset(&crash.sa_mask);
  for (int signal : kCrashSignals) sigaction(signal, &crash, &crashedBefore[signal]);
  struct sigaction action {};
  action.sa_handler = &endOnSignal;
  sigemptyset(&action.sa_mask);
  for (int signal : kEndingSignals) sigaddset(&action.sa_mask, signal);
  for (int signal : kEndingSignals) {
    struct sigaction before {};
    if (sigaction(signal, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) continue;
    sigaction(signal, &action, nullptr);
  }
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
#endif
}

}  // namespace sim
