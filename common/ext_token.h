// Finding a file name by its extension inside a linker response line.
#ifndef KIT_COMMON_EXT_TOKEN_H_
#define KIT_COMMON_EXT_TOKEN_H_

#include <cstddef>
#include <string>
#include <string_view>

// True when the stretch of text from position up to the next space, comma,
// line feed or the end of the text holds ext (case-sensitive).  Then
// out_name receives the characters from position up to and including the
// first match, and out_len their number.  Otherwise nothing is changed.
bool find_ext_token(std::string_view text, std::size_t position, std::string_view ext,
                    std::string* out_name, std::size_t* out_len);

#endif  // KIT_COMMON_EXT_TOKEN_H_
