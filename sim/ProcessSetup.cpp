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

#if !defined(_WIN32)
// What handled each crash signal before: a sanitizer's runtime, say, which reports the crash.
struct sigaction crashedBefore[NSIG];
#endif

// A crash leaves no temporary either; then the signal goes on as it would have: to the handler before, or to
// the default action, which ends the process by it.
void endOnCrash(int signal) {
  removeTemporaries();
#if defined(_WIN32)
  std::raise(signal);
#else
  sigaction(signal, &crashedBefore[signal], nullptr);
  raise(signal);
#endif
}

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
  struct sigaction crash {};
  crash.sa_handler = &endOnCrash;
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
