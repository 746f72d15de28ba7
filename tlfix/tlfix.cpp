#include "tlfix/tlfix.h"

#include "common/ext_token.h"

const char kDefaultDefText[] =
    "EXETYPE WINDOWS\n"
    "CODE PRELOAD MOVEABLE DISCARDABLE\n"
    "DATA PRELOAD MOVEABLE\n";

tlfix_rewrite rewrite_for_tlink(std::vector<std::string> lines) {
  tlfix_rewrite result;
  const ext_token_place res = first_ext_token(lines, ".res");
  if (res.found) {
    // The name goes with at most one space after it; a comma stays.
    std::string& line = lines[res.entry];
    result.res_name = line.substr(res.position, res.length);
    std::size_t end = res.position + res.length;
    if (end < line.size() && line[end] == ' ') ++end;
    line.erase(res.position, end - res.position);
    result.res_found = true;
  }
  // Only what stays in the file can name the module-definition file.
  const ext_token_place def = first_ext_token(lines, ".def");
  if (def.found) {
    result.def_name = lines[def.entry].substr(def.position, def.length);
    result.def_found = true;
  }
  for (const std::string& line : lines) result.text += line;
  result.text += '\n';
  result.text += result.res_name;
  return result;
}
