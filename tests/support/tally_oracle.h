// The line counter's rules applied one line read at a time, as plainly as
// they are stated: the oracle that tests and the fuzz target hold every
// level of count_lines to.
#ifndef KIT_TESTS_SUPPORT_TALLY_ORACLE_H_
#define KIT_TESTS_SUPPORT_TALLY_ORACLE_H_

#include <string>
#include <string_view>

#include "asmtally/asmtally.h"
#include "tests/support/reference_reader.h"

// White space other than the line feed, which ends every scan first.
inline bool oracle_white(char c) {
  return c == ' ' || (c >= 0x09 && c <= 0x0D && c != '\n');
}

// Under block-comment rules reads and updates *in_block.
inline bool oracle_comment_line(std::string_view line, bool assembly_mode, bool* in_block) {
  std::size_t at = 0;
  if (assembly_mode || !*in_block) {
    while (at < line.size() && oracle_white(line[at])) ++at;
    if (assembly_mode) return at < line.size() && line[at] == ';';
    if (line.substr(at, 2) != "/*") return false;
    *in_block = true;
    ++at;  // "*/" is looked for from the star on, so "/*/" closes at once
  }
  if (line.find("*/", at) != std::string_view::npos) *in_block = false;
  return true;
}

// Blanks and then a line feed.
inline bool oracle_blank_line(std::string_view line) {
  return line.find_first_not_of(' ') == line.size() - 1 && line.back() == '\n';
}

// Stops at the first read that meets the end or a 0x1A, as the counter's
// loop does.
inline line_tally count_line_by_line(std::string_view bytes, bool assembly_mode) {
  reference_reader reader{bytes};
  line_tally tally;
  bool in_block = false;
  std::string line;
  while (!reader.eof && reference_read_line(reader, kSourceLineLimit, &line)) {
    if (oracle_comment_line(line, assembly_mode, &in_block)) {
      ++tally.comment;
    } else if (oracle_blank_line(line)) {
      ++tally.blank;
    }
    ++tally.total;
  }
  return tally;
}

#endif  // KIT_TESTS_SUPPORT_TALLY_ORACLE_H_
