#include "common/ext_token.h"

namespace {

bool ends_token(char c) {
  return c == ' ' || c == ',' || c == '\n';
}

}  // namespace

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

std::size_t ext_stretch_end(std::string_view text, std::size_t position) {
  while (position < text.size() && !ends_token(text[position])) ++position;
  return position;
}
