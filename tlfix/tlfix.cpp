#include "tlfix/tlfix.h"

#include <algorithm>

#include "common/ext_token.h"

const char kDefaultDefText[] =
    "EXETYPE WINDOWS\n"
    "CODE PRELOAD MOVEABLE DISCARDABLE\n"
    "DATA PRELOAD MOVEABLE\n";

namespace {

// Tries the matcher at every place of a line, but steps over the rest of a
// stretch where it failed: a line of thousands of bytes then costs one look
// per stretch.
struct ext_search {
  const char* ext;
  std::size_t clear_until = 0;
};

bool ext_token_at(const std::string& line, std::size_t at, ext_search& search, std::string* name,
                  std::size_t* length) {
  if (at < search.clear_until) return false;
  if (find_ext_token(line, at, search.ext, name, length)) return true;
  search.clear_until = std::max(ext_stretch_end(line, at), at + 1);
  return false;
}

}  // namespace

tlfix_rewrite rewrite_for_tlink(const std::vector<std::string>& lines) {
  tlfix_rewrite result;
  for (const std::string& line : lines) {
    ext_search res{".res"};
    ext_search def{".def"};
    std::size_t at = 0;
    while (at < line.size()) {
      std::size_t length = 0;
      if (!result.res_found && ext_token_at(line, at, res, &result.res_name, &length)) {
        at += length;
        if (at < line.size() && line[at] == ' ') ++at;
        result.res_found = true;
        continue;
      }
      if (!result.def_seen && ext_token_at(line, at, def, &result.def_name, &length)) {
        result.def_seen = true;
      }
      result.text += line[at];
      ++at;
    }
  }
  result.text += '\n';
  result.text += result.res_name;
  return result;
}
