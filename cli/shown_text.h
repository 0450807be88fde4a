// How the command shows text it did not write itself (file names, option values, Y4M tags) in
// its one-line messages: printable ASCII and well-formed UTF-8 as they are; control characters,
// bytes that are not UTF-8 and the backslash as escapes (\x0a, \x1b, \xff, \\). So every
// message stays one line, nothing in it can steer a terminal, and the name is still recognised.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace sorvan::cli {

// `text` escaped; when it is longer than `maxBytes`, its start and "...".
std::string Shown(std::string_view text, size_t maxBytes = std::string_view::npos);

// Control characters alone escaped: the last guard that keeps any message on one line.
std::string OneLine(std::string_view text);

}  // namespace sorvan::cli
