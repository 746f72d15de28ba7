// Writing new content over a file in place, for a file that no fresh file
// can replace (a folder that takes no new file, someone else's file in a
// sticky folder) or whose every hard link must show the new content; and
// where the new content waits until then.  Private to common/.
#ifndef KIT_COMMON_IN_PLACE_H_
#define KIT_COMMON_IN_PLACE_H_

#include "common/file_system.h"
#include "common/text_stream.h"

// Whether the old file is to be rewritten in place rather than replaced by
// the fresh file, asked as the replacement starts: one with other hard
// links, whose every name must show the new content, and one that no fresh
// file could be made beside.  (Someone else's file in a sticky folder is
// rewritten in place too, once the rename is refused: only the rename can
// tell.)
bool rewrite_in_place(bool fresh_made, unsigned long long links);

// Has writer take the new content: into the fresh file open as fresh, or,
// where none could be made, into memory (a response file fits there, and so
// must a destination in a folder that takes no new file).
void stage_new_content(int fresh, file_replacement& replacement, text_writer& writer);

// Closes writer: *fresh is the fresh file, or -1 for memory.  False when a
// write failed.
bool release_staged(file_replacement& replacement, text_writer& writer, int* fresh);

// Writes the staged content (in the fresh file open as fresh, read back
// through that descriptor only, never by a name someone else may have taken
// meanwhile; or in replacement.in_memory) over the file open as target (for
// reading too), which is locked meanwhile, so that a second run waits and
// then writes its own whole content.  Room for a longer content is made
// before the first old byte changes, by writing its tail past the old end,
// and the interrupts wait until the file is whole.  On any failure the old
// content, kept after the new one, is put back: the file is the old one or
// the new one, never a mix, unless even that fails (damaged).  With
// replacement.flush, the file reaches the disk before this says replaced.
replace_result write_in_place(int target, int fresh, file_replacement& replacement);

#endif  // KIT_COMMON_IN_PLACE_H_
