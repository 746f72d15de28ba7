// Finding a file name by its extension inside a linker response line.
#ifndef KIT_COMMON_EXT_TOKEN_H_
#define KIT_COMMON_EXT_TOKEN_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// True when the stretch of text from position up to the next space, comma,
// line feed or the end of the text holds ext (case-sensitive).  Then
// out_name receives the characters from position up to and including the
// first match, and out_len their number.  Otherwise nothing is changed.
bool find_ext_token(std::string_view text, std::size_t position, std::string_view ext,
                    std::string* out_name, std::size_t* out_len);

// Where the first token holding an extension stands in a table of entries.
struct ext_token_place {
  bool found = false;
  std::size_t entry = 0;
  std::size_t position = 0;  // of its first character
  std::size_t length = 0;    // up to and including the first match
};

// The first token of the entries (in order, each from left to right) that
// holds ext: where find_ext_token, tried at every place in turn, would
// first match.
ext_token_place first_ext_token(const std::vector<std::string>& entries, std::string_view ext);

#endif  // KIT_COMMON_EXT_TOKEN_H_
