// What the simulator sets up in its own process before anything else, besides standard descriptors that no
// file of its own can take (StandardDescriptors.h): signals that end it without leaving anything behind.
#pragma once

#include <span>

namespace sim {

/// The signals whose default action ends the process and that a user or the system sends to stop a run:
/// each one removes every temporary file and then ends the process as the signal would.
std::span<const int> endingSignals();

/// The signals by which a crash or an abort ends the process: the plugin's, whose code runs in it, included.
std::span<const int> crashSignals();

/// Handles every ending signal that is not ignored (one ignored at start, as nohup and a shell's background
/// jobs do, stays ignored); while one is handled, every other is held back, so that a second signal cannot
/// end the process before the temporaries are gone. A crash signal removes the temporaries too, then goes on
/// to whatever handled it before. A broken output pipe and a file-size limit fail the write instead of
/// ending the process, so that the run stops as for any failed output.
void endCleanlyOnSignals();

}  // namespace sim
