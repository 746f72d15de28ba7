#include "asmtally/asmtally.h"

namespace {

// The line feed is left out on purpose: every scan stops at it before it
// could pass as white space.
bool is_space_not_lf(char c) {
  return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r';
}

char fold_ascii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool is_assembly_comment(std::string_view line) {
  std::size_t at = 0;
  while (at < line.size() && is_space_not_lf(line[at])) ++at;
  return at < line.size() && line[at] == ';';
}

// Scans inside a block comment from position at.  A piece that ends
// without a line feed is treated like one that reaches it: the block stays
// open and the piece is a comment line.
bool scan_in_block(std::string_view line, std::size_t at, bool* in_block) {
  for (; at < line.size() && line[at] != '\n'; ++at) {
    if (line[at] == '*' && at + 1 < line.size() && line[at + 1] == '/') {
      *in_block = false;
      return true;
    }
  }
  return true;
}

bool is_block_comment(std::string_view line, bool* in_block) {
  if (*in_block) return scan_in_block(line, 0, in_block);
  for (std::size_t at = 0; at < line.size(); ++at) {
    char c = line[at];
    if (c == '/' && at + 1 < line.size() && line[at + 1] == '*') {
      *in_block = true;
      // From the star, so that "/*/" opens and at once closes.
      return scan_in_block(line, at + 1, in_block);
    }
    if (!is_space_not_lf(c)) return false;
  }
  return false;
}

}  // namespace

bool is_assembly_name(std::string_view name) {
  const std::string_view suffix = ".asm";
  if (name.size() < suffix.size()) return false;
  std::string_view tail = name.substr(name.size() - suffix.size());
  for (std::size_t i = 0; i < suffix.size(); ++i) {
    if (fold_ascii(tail[i]) != suffix[i]) return false;
  }
  return true;
}

bool is_comment_line(std::string_view line, bool assembly_mode, bool* in_block) {
  return assembly_mode ? is_assembly_comment(line) : is_block_comment(line, in_block);
}

bool is_blank_line(std::string_view line) {
  std::size_t at = 0;
  while (at < line.size() && line[at] == ' ') ++at;
  return at < line.size() && line[at] == '\n';
}

bool count_lines(text_reader& reader, bool assembly_mode, line_tally* tally) {
  bool in_block = false;
  std::string_view line;
  // Stopping on the indicator, not on "no line", ends the count at a 0x1A
  // even when text follows it.
  while (!at_eof(reader)) {
    if (!read_line(reader, kTallyLineLimit, &line)) break;
    if (is_comment_line(line, assembly_mode, &in_block)) {
      ++tally->comment;
    } else if (is_blank_line(line)) {
      ++tally->blank;
    }
    ++tally->total;
  }
  return !reader.error;
}

std::string format_report(const line_tally& tally) {
  return "Total lines:   " + std::to_string(tally.total) + "\n" +
         "Comment lines: " + std::to_string(tally.comment) + "\n" +
         "Blank lines:   " + std::to_string(tally.blank) + "\n";
}
