// Writing new content over a file in place, for a file that no fresh file
// can replace (a folder that takes no new file, someone else's file in a
// sticky folder) or whose every hard link must show the new content.
// Private to common/.
#ifndef KIT_COMMON_IN_PLACE_H_
#define KIT_COMMON_IN_PLACE_H_

#include <string>

// Writes all of the file open as content (read back through it, never by a
// name someone else may have taken meanwhile) over the file at target.
// Room for a longer content is made before the first old byte changes, by
// writing its tail past the old end: a full disk fails there, and the old
// file is cut back to its length, as it was.  The interrupts wait until the
// file is whole: it is the old one or the new one, never a mix.  With
// flush, the file reaches the disk before this returns true.
bool write_in_place(const std::string& target, int content, bool flush);

#endif  // KIT_COMMON_IN_PLACE_H_
