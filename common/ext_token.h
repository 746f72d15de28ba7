// Finding a file name by its extension inside a linker response line.
#ifndef KIT_COMMON_EXT_TOKEN_H_
#define KIT_COMMON_EXT_TOKEN_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Where the first token holding an extension stands in a table of entries.
struct ext_token_place {
  bool found = false;
  std::size_t entry = 0;
  std::size_t position = 0;  // of its first character
  std::size_t length = 0;    // up to and including the first match
};

// The first token of the entries (in order, each from left to right) that
// holds ext (case-sensitive), a token being a run of bytes other than space,
// comma and line feed.  The name found runs from the token's first byte up
// to and including the first ext in it.
ext_token_place first_ext_token(const std::vector<std::string>& entries, std::string_view ext);

#endif  // KIT_COMMON_EXT_TOKEN_H_
