#include "tlfix/tlfix.h"

#include "common/ext_token.h"

const char kDefaultDefText[] =
    "EXETYPE WINDOWS\n"
    "CODE PRELOAD MOVEABLE DISCARDABLE\n"
    "DATA PRELOAD MOVEABLE\n";

tlfix_rewrite rewrite_for_tlink(const std::vector<std::string>& lines) {
  tlfix_rewrite result;
  for (const std::string& line : lines) {
    std::size_t at = 0;
    while (at < line.size()) {
      std::size_t length = 0;
      if (!result.res_found && find_ext_token(line, at, ".res", &result.res_name, &length)) {
        at += length;
        if (at < line.size() && line[at] == ' ') ++at;
        result.res_found = true;
        continue;
      }
      if (!result.def_seen && find_ext_token(line, at, ".def", &result.def_name, &length)) {
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
