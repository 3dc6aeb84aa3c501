#include "Quote.h"

#include <array>
#include <cstdint>
#include <cstdio>

namespace standin {
namespace {

// The length of the valid UTF-8 sequence that starts the text, or 0. C1 controls (U+0080 to U+009F) count
// as invalid: some terminals obey them as escape sequences.
std::size_t utf8Length(std::string_view text) {
  auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  unsigned char lead = byte(0);
  std::size_t length = lead >= 0xf0 ? 4 : lead >= 0xe0 ? 3 : lead >= 0xc2 ? 2 : 0;
  if (length == 0 || lead > 0xf4 || text.size() < length) return 0;
  std::uint32_t code = lead & (0x7f >> length);
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xc0) != 0x80) return 0;
    code = code << 6 | (byte(i) & 0x3f);
  }
  bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
  bool invalid = code < 0xa0 || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff);
  return overlong || invalid ? 0 : length;
}

// Appends the shown form of the text, stopping before the byte at `limit`; returns where it stopped.
std::size_t append(std::string& out, std::string_view text, std::size_t limit) {
  std::size_t at = 0;
  while (at < text.size() && at < limit) {
    auto c = static_cast<unsigned char>(text[at]);
    if (c >= 0x20 && c < 0x7f) {
      out += static_cast<char>(c);
      ++at;
    } else if (std::size_t length = c >= 0x80 ? utf8Length(text.substr(at)) : 0; length > 0) {
      if (at + length > limit) break;
      out.append(text.substr(at, length));
      at += length;
    } else {
      std::array<char, 5> hex{};
      std::snprintf(hex.data(), hex.size(), "\\x%02x", c);
      out += hex.data();
      ++at;
    }
  }
  return at;
}

}  // namespace

std::string escape(std::string_view text) {
  std::string out;
  append(out, text, text.size());
  return out;
}

std::string quote(std::string_view text) {
  std::string out = "'";
  std::size_t shown = append(out, text, kQuotedLength);
  if (shown == text.size()) return out + "'";
  return out + "...' (" + std::to_string(text.size()) + " bytes)";
}

}  // namespace standin
