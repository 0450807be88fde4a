#include "cli/shown_text.h"

#include <fmt/format.h>

namespace sorvan::cli {
namespace {

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7f; }

// Bytes of the well-formed UTF-8 sequence of a printable character (U+00A0 and up) that starts
// `text`; 0 when there is none.
size_t Utf8CharacterBytes(std::string_view text) {
  const auto lead = static_cast<unsigned char>(text[0]);
  const size_t length = lead >= 0xf0 ? 4 : lead >= 0xe0 ? 3 : lead >= 0xc2 ? 2 : 0;
  if (length == 0 || lead > 0xf4 || text.size() < length) return 0;
  uint32_t code = lead & (0x7f >> length);
  for (size_t i = 1; i < length; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if ((c & 0xc0) != 0x80) return 0;
    code = code << 6 | (c & 0x3f);
  }
  const uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
  const bool valid = code >= least[length] && code <= 0x10ffff && (code < 0xd800 || code > 0xdfff);
  return valid && code >= 0xa0 ? length : 0;  // U+0080 … U+009F are control characters too
}

}  // namespace

std::string Shown(std::string_view text, size_t maxBytes) {
  const bool cut = text.size() > maxBytes;
  if (cut) text = text.substr(0, maxBytes);
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == '\\') {
      out += "\\\\";
    } else if (c < 0x80 && !IsControl(c)) {
      out.push_back(text[i]);
    } else if (const size_t n = c >= 0x80 ? Utf8CharacterBytes(text.substr(i)) : 0; n > 0) {
      out.append(text.substr(i, n));
      i += n;
      continue;
    } else {
      out += fmt::format("\\x{:02x}", c);
    }
    ++i;
  }
  if (cut) out += "...";
  return out;
}

std::string OneLine(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    if (IsControl(static_cast<unsigned char>(c))) {
      out += fmt::format("\\x{:02x}", static_cast<unsigned char>(c));
    } else {
      out.push_back(c);
    }
  }
  return out;
}

}  // namespace sorvan::cli
