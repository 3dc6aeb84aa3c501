#include "Process.h"

#include <csignal>

#include "AtomicFile.h"

#if !defined(_WIN32)
#include <fcntl.h>
#include <unistd.h>
#endif

namespace sim {
namespace {

void endOnSignal(int signal) {
  removeTemporaries();
  // The handler was reset to the default on entry: the signal, pending until the handler returns, ends the
  // process as it would have, and the parent sees which signal it was.
  std::raise(signal);
}

}  // namespace

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
  for (int signal : {SIGINT, SIGTERM}) std::signal(signal, &endOnSignal);
#else
  struct sigaction action {};
  action.sa_handler = &endOnSignal;
  action.sa_flags = SA_RESETHAND;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&action.sa_mask, signal);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
#endif
}

}  // namespace sim
