// asmtally: counts the total, comment and blank lines of one source file,
// judging comments by assembly rules (";") or block-comment rules ("/*" to
// "*/", spanning lines).
#ifndef KIT_ASMTALLY_ASMTALLY_H_
#define KIT_ASMTALLY_ASMTALLY_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/scan_level.h"
#include "common/text_stream.h"

// 64-bit so that files of more than 2^31 lines do not wrap.
struct line_tally {
  std::int64_t total = 0;
  std::int64_t comment = 0;
  std::int64_t blank = 0;
};

// Whether the name, exactly as given, ends in ".asm" in any case.
bool is_assembly_name(std::string_view name);

// Adds every line up to the end of the file or the first 0x1A to *tally,
// with the scans of the given level (all give the same counts).  False when
// a read failed, which leaves the counts short.
bool count_lines(text_reader& reader, bool assembly_mode, line_tally* tally,
                 scan_level level = best_scan_level());

// The three report lines, each ending in a line feed.
std::string format_report(const line_tally& tally);

#endif  // KIT_ASMTALLY_ASMTALLY_H_
