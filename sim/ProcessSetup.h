// What the simulator sets up in its own process before anything else: standard descriptors that no file of
// its own can take, and signals that end it without leaving anything behind.
#pragma once

#include <span>

namespace sim {

/// Gives each of standard input, output and error that is closed a stand-in that fails every use (an input
/// that cannot be read, an output that cannot be written), so that no file the simulator opens takes its
/// number: the log can never land in a picture, and a closed output is reported as one.
void protectStandardDescriptors();

/// The signals whose default action ends the process and that a user or the system sends to stop a run:
/// each one removes every temporary file and then ends the process as the signal would.
std::span<const int> endingSignals();

/// Handles every ending signal that is not ignored (one ignored at start, as nohup and a shell's background
/// jobs do, stays ignored); while one is handled, every other is held back, so that a second signal cannot
/// end the process before the temporaries are gone. A broken output pipe and a file-size limit fail the
/// write instead of ending the process, so that the run stops as for any failed output.
void endCleanlyOnSignals();

}  // namespace sim
