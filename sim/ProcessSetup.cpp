#include "ProcessSetup.h"

#include <csignal>

#include "AtomicFile.h"

#if !defined(_WIN32)
#include <fcntl.h>
#include <unistd.h>
#endif

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

void protectStandardDescriptors() {
#if !defined(_WIN32)
  for (int descriptor : {0, 1, 2}) {
    if (fcntl(descriptor, F_GETFD) != -1) continue;
    // The lowest free number is this one. Open the other way round, so that every use fails.
    int opened = open("/dev/null", descriptor == 0 ? O_WRONLY : O_RDONLY);
    if (opened != descriptor && opened >= 0) close(opened);
  }
#endif
}

void endCleanlyOnSignals() {
#if defined(_WIN32)
  for (int signal : kEndingSignals) {
    if (std::signal(signal, &endOnSignal) == SIG_IGN) std::signal(signal, SIG_IGN);
  }
#else
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
