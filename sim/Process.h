// What the simulator sets up in its own process before anything else: standard descriptors that no file of
// its own can take, and signals that end it without leaving anything behind.
#pragma once

namespace sim {

/// Gives each of standard input, output and error that is closed a stand-in that fails every use (an input
/// that cannot be read, an output that cannot be written), so that no file the simulator opens takes its
/// number: the log can never land in a picture, and a closed output is reported as one.
void protectStandardDescriptors();

/// SIGINT, SIGTERM and SIGHUP remove every temporary file and then end the process as the signal would; a
/// broken output pipe fails the write instead of ending the process, so that the run stops as for any failed
/// output.
void endCleanlyOnSignals();

}  // namespace sim
