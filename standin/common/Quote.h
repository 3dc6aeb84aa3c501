// Showing text that came from a user's input safely: in messages, logs and on a terminal.
#pragma once

#include <string>
#include <string_view>

namespace standin {

/// The one way outside text (script words, paths, the system's and the loader's messages) is shown in a
/// message or a log: every control byte, and every byte that is not part of valid UTF-8, written as \xNN, and
/// every invisible or direction-changing format character as \uNNNN, so that nothing in it can move a
/// terminal's cursor, change its colours, cut a message short or make one name look like another.
std::string escape(std::string_view text);

/// The text escaped and in single quotes, cut after kQuotedLength bytes with "..." and the full length in
/// bytes, so that a message stays readable whatever the input held.
std::string quote(std::string_view text);

inline constexpr std::size_t kQuotedLength = 40;

}  // namespace standin
