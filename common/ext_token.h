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

// Where the stretch that find_ext_token examines from position ends.  A
// match that fails at one place fails at every later place up to there too
// (each sees a tail of the same stretch), so a caller that tries every place
// of a line can step over the rest of the stretch at once.
std::size_t ext_stretch_end(std::string_view text, std::size_t position);

#endif  // KIT_COMMON_EXT_TOKEN_H_
