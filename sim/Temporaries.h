// The simulator's temporaries that have a name, listed so that a signal that ends a run, or a crash, removes
// them first: the list, and the signals held while it changes.
#pragma once

#include <filesystem>

namespace sim {

/// Lists a temporary under its name's own text, which must stay as it is while listed; false when the list is
/// full. Call it with the ending signals held (os::EndingSignalsHeld), so that no handler misses the name.
bool rememberTemporary(const std::filesystem::path& temporary);
/// Takes a temporary off the list, once it is gone or in place: a handler in between then finds nothing of
/// anyone's under its name.
void forgetTemporary(const std::filesystem::path& temporary);
/// Removes every temporary listed. Safe in a signal handler.
void removeTemporaries() noexcept;

/// Has every signal that ends a run remove the temporaries and then end the process as it would have (one
/// ignored at start stays ignored), and every crash remove them too (see os::endCleanlyOnSignals).
void endCleanlyOnSignals();

}  // namespace sim
