// Small rules about bytes and names that every part of the kit applies alike.
#ifndef KIT_COMMON_ASCII_H_
#define KIT_COMMON_ASCII_H_

#include <string_view>

// Only the letters A to Z fold, to a to z: no other byte, whatever a locale
// would say.
inline char fold_ascii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Equal over their whole length, the letters A to Z folded.
inline bool same_folded(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (fold_ascii(a[i]) != fold_ascii(b[i])) return false;
  }
  return true;
}

// White space, wherever a rule of the kit tests for it: 0x09 to 0x0D and
// the blank.
const char kWhiteSpaceFirst = 0x09;
const char kWhiteSpaceLast = 0x0D;

inline bool is_white_space(char c) {
  return c == ' ' || (c >= kWhiteSpaceFirst && c <= kWhiteSpaceLast);
}

// A zero byte is data in a name, but no system call can take such a name:
// it names nothing that can be opened, made or started.
inline bool holds_zero_byte(std::string_view name) {
  return name.find('\0') != std::string_view::npos;
}

#endif  // KIT_COMMON_ASCII_H_
