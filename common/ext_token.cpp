#include "common/ext_token.h"

#include <algorithm>

namespace {

bool ends_token(char c) {
  return c == ' ' || c == ',' || c == '\n';
}

// Where the stretch that find_ext_token examines from position ends.
std::size_t ext_stretch_end(std::string_view text, std::size_t position) {
  while (position < text.size() && !ends_token(text[position])) ++position;
  return position;
}

// True when the stretch of text from position up to the next space, comma,
// line feed or the end of the text holds ext.  Then out_name receives the
// characters from position up to and including the first match, and out_len
// their number.  Otherwise nothing is changed.
bool find_ext_token(std::string_view text, std::size_t position, std::string_view ext,
                    std::string* out_name, std::size_t* out_len) {
  const std::size_t stretch_end = ext_stretch_end(text, position);
  if (stretch_end == position || ext.empty()) return false;
  // The extension holds no separator, so a match never reaches past the
  // stretch: searching the stretch alone is the same test.
  std::string_view stretch = text.substr(position, stretch_end - position);
  std::size_t at = stretch.find(ext);
  if (at == std::string_view::npos) return false;
  std::size_t length = at + ext.size();
  out_name->assign(stretch.data(), length);
  *out_len = length;
  return true;
}

}  // namespace

ext_token_place first_ext_token(const std::vector<std::string>& entries, std::string_view ext) {
  ext_token_place place;
  std::string name;
  for (std::size_t entry = 0; entry < entries.size(); ++entry) {
    const std::string& text = entries[entry];
    std::size_t at = 0;
    while (at < text.size()) {
      if (find_ext_token(text, at, ext, &name, &place.length)) {
        place.found = true;
        place.entry = entry;
        place.position = at;
        return place;
      }
      // Every later place of a stretch where the match failed sees a tail
      // of the same stretch, and fails too: a line of thousands of bytes
      // costs one look per stretch.
      at = std::max(at + 1, ext_stretch_end(text, at));
    }
  }
  return place;
}
