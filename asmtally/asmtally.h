// asmtally: counts the total, comment and blank lines of one source file,
// judging comments by assembly rules (";") or block-comment rules ("/*" to
// "*/", spanning lines).
#ifndef KIT_ASMTALLY_ASMTALLY_H_
#define KIT_ASMTALLY_ASMTALLY_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/text_stream.h"

// Lines are read in pieces of at most this many bytes less one; each piece
// counts as a line of its own.
const std::size_t kTallyLineLimit = 255;

// 64-bit so that files of more than 2^31 lines do not wrap.
struct line_tally {
  std::int64_t total = 0;
  std::int64_t comment = 0;
  std::int64_t blank = 0;
};

// Whether the name, exactly as given, ends in ".asm" in any case.
bool is_assembly_name(std::string_view name);

// Under block-comment rules reads and updates *in_block, the state carried
// from one line to the next; under assembly rules leaves it alone.
bool is_comment_line(std::string_view line, bool assembly_mode, bool* in_block);

// Blanks (0x20 only) and then a line feed.
bool is_blank_line(std::string_view line);

// Adds the lines of a run handed out by read_plain_lines with the line
// limit above, carrying *in_block as the line-by-line rules do.  Every
// usable isa gives the same counts.
void count_plain_lines(std::string_view run, bool assembly_mode, bool* in_block, line_tally* tally,
                       scan_isa isa = best_scan_isa());

// Adds every line up to the end-of-file indicator to *tally, scanning with
// the reader's isa.  False when a
// read failed, which leaves the counts short.
bool count_lines(text_reader& reader, bool assembly_mode, line_tally* tally);

// The three report lines, each ending in a line feed.
std::string format_report(const line_tally& tally);

#endif  // KIT_ASMTALLY_ASMTALLY_H_
