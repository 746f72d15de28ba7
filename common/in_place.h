// Where the new content of a replaced file waits, and its writing over the
// old file in place where no fresh file can take the old one's place.
// Private to common/.
#ifndef KIT_COMMON_IN_PLACE_H_
#define KIT_COMMON_IN_PLACE_H_

#include "common/file_system.h"
#include "common/text_stream.h"

// Whether the old file is rewritten in place, asked as the replacement
// starts: one whose every hard link must show the new content, and one that
// no fresh file could be made beside.  (So is someone else's file in a
// sticky folder, which only a refused rename tells.)
bool rewrite_in_place(bool fresh_made, unsigned long long links);

// Has writer take the new content into the fresh file open as fresh, or
// into memory where none could be made.
void stage_new_content(int fresh, file_replacement& replacement, text_writer& writer);

// Closes writer: *fresh is the fresh file, or -1 for memory.  False when a
// write failed.
bool release_staged(file_replacement& replacement, text_writer& writer, int* fresh);

// Writes the staged content (read back through the fresh file's descriptor,
// never by a name someone else may have taken, or from memory) over the
// file open as target, locked meanwhile so that a second run waits for the
// whole content.  Room is made before the first old byte changes, the
// interrupts wait until the file is whole, and on any failure the old
// content, kept after the new one, is put back: the old file or the new,
// never a mix, unless even that fails (damaged).
replace_result write_in_place(int target, int fresh, file_replacement& replacement);

#endif  // KIT_COMMON_IN_PLACE_H_
