// Writing new content over a file in place, for a file that no fresh file
// can replace (a folder that takes no new file, someone else's file in a
// sticky folder) or whose every hard link must show the new content.
// Private to common/.
#ifndef KIT_COMMON_IN_PLACE_H_
#define KIT_COMMON_IN_PLACE_H_

#include <cstdint>
#include <string>

#include "common/file_system.h"

// Where the new content waits, and the old one is kept until the new one is
// whole: the fresh file, read and written through its descriptor only, never
// by a name someone else may have taken meanwhile; or memory, where no
// fresh file could be made.
struct in_place_store {
  int fd = -1;  // -1: memory
  std::string* memory = nullptr;
};

// Writes bytes [0, length) of store over the file open as target (open for
// reading too), which is locked meanwhile, so that a second run waits and
// then writes its own whole content.  Room for a longer content is made
// before the first old byte changes, by writing its tail past the old end,
// and the interrupts wait until the file is whole.  On any failure the old
// content, kept in store after the new one, is put back: the file is the
// old one or the new one, never a mix, unless even that fails (damaged).
// With flush, the file reaches the disk before this says replaced.
replace_result write_in_place(int target, const in_place_store& store, std::uint64_t length,
                              bool flush);

#endif  // KIT_COMMON_IN_PLACE_H_
