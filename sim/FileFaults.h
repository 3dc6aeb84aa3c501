// Faults injected into the simulator's file operations, so that a test can see what a full disk, a signal or
// a system that writes files otherwise does to a run: every open, write, flush, close and rename of the
// simulator's files is counted here first.
#pragma once

#include <cstdint>

namespace sim::faults {

/// Makes the nth file operation from now fail as on a full disk; 0 switches the fault off. Each of the
/// switches below starts the run's way of writing files afresh.
void failAt(std::uint64_t n);
/// Raises the signal at the nth file operation from now, before it is carried out.
void signalAt(std::uint64_t n, int signal);
/// File operations made so far.
std::uint64_t count();
/// Whether files are written without a name where the system can (the default); off, files are written as on
/// a file system that cannot, under a temporary name.
void writeUnnamed(bool on);
/// Whether the system refuses to give a file made without a name one, as some sandboxes do (linkat fails with
/// EPERM); off by default.
void refuseNaming(bool on);

/// Counts one file operation: true when it is the one chosen to fail, with errno ENOSPC. With a signal chosen
/// instead, the operation is interrupted by it and goes on.
bool injected();
/// Whether files may be written without a name: where writeUnnamed allows it, until the system refuses to
/// name one (refusedToName), after which every file of the run is written named from the start.
bool unnamedAllowed();
/// Notes that the system refused to name a file made without one.
void refusedToName();
/// Whether naming a file made without one is refused (see refuseNaming).
bool namingRefused();

}  // namespace sim::faults
