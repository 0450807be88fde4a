// Text composed in a fixed buffer: the one way the plug-in builds a string (the refusals that
// name a format or an argument, the hosts' names of formats, the registration strings). What
// does not fit is cut off and remembered, so that a string made at compile time can be held to
// its buffer by a static_assert on Fits(), and never comes out cut without anyone knowing.
#pragma once

#include "core/portability.h"

namespace sorvan {

template <size_t Capacity>
class BoundedText {
  static_assert(Capacity > 0, "room for the terminating zero at least");

 public:
  constexpr BoundedText& Append(const char* text) {
    for (; text != nullptr && *text != '\0'; ++text) Put(*text);
    return *this;
  }
  constexpr BoundedText& AppendDecimal(uint32_t value) {
    char digits[10] = {};
    int32_t count = 0;
    do {
      digits[count++] = static_cast<char>('0' + value % 10);
      value /= 10;
    } while (value > 0);
    while (count > 0) Put(digits[--count]);
    return *this;
  }
  // A value from outside (an environment variable, a name a user typed) kept to one line: control
  // characters shown as '?', and no more than `most` characters of it, "..." marking the cut.
  constexpr BoundedText& AppendShown(const char* text, size_t most) {
    size_t shown = 0;
    for (; text != nullptr && *text != '\0' && shown < most; ++text, ++shown) {
      const unsigned char c = static_cast<unsigned char>(*text);
      Put(c < 0x20 || c == 0x7F ? '?' : *text);
    }
    return text != nullptr && *text != '\0' ? Append("...") : *this;
  }
  // Upper-case hexadecimal, `digits` wide (leading zeros; the low digits when the value is wider).
  constexpr BoundedText& AppendHex(uint32_t value, int32_t digits) {
    for (int32_t i = digits - 1; i >= 0; --i) Put("0123456789ABCDEF"[(value >> (4 * i)) & 0xF]);
    return *this;
  }

  constexpr const char* Text() const { return text_; }
  constexpr bool Empty() const { return length_ == 0; }
  // False once anything had to be cut off.
  constexpr bool Fits() const { return fits_; }

 private:
  constexpr void Put(char c) {
    if (length_ + 1 < Capacity) {
      text_[length_++] = c;
    } else {
      fits_ = false;
    }
  }

  char text_[Capacity] = {};
  size_t length_ = 0;
  bool fits_ = true;
};

}  // namespace sorvan
