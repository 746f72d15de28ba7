// tlfix: moves the resource name of a linker response file to its end and
// supplies a default module-definition file for the TLINK linker.
#ifndef KIT_TLFIX_TLFIX_H_
#define KIT_TLFIX_TLFIX_H_

#include <string>
#include <vector>

// The most lines (or pieces of lines) a response file may hold.
const std::size_t kTlfixMaxLines = 299;

struct tlfix_rewrite {
  std::string text;  // the new content of the response file
  bool res_found = false;
  std::string res_name;
  bool def_found = false;
  std::string def_name;
};

// Takes the first name ending in ".res" (with at most one space after it)
// out of the lines and appends it after a line feed; notes the first name
// ending in ".def", which stays where it is.
tlfix_rewrite rewrite_for_tlink(std::vector<std::string> lines);

// The three lines of the module-definition file made when none exists.
extern const char kDefaultDefText[];

#endif  // KIT_TLFIX_TLFIX_H_
