// The few file-system operations the kit needs beyond reading and writing.
#ifndef KIT_COMMON_FILE_SYSTEM_H_
#define KIT_COMMON_FILE_SYSTEM_H_

#include <string>
#include <string_view>

#include "common/text_stream.h"

// True when any directory entry exists under the name, a dangling symbolic
// link included.
bool path_exists(const std::string& path);

// What tells two names of one file apart from names of two files.
struct file_id {
  unsigned long long device = 0;
  unsigned long long inode = 0;
};

// Identifies the file under path, following symbolic links; false when
// there is none.
bool identify_file(const std::string& path, file_id* id);

inline bool same_file(const file_id& a, const file_id& b) {
  return a.device == b.device && a.inode == b.inode;
}

// Deletes a file; false when it could not be deleted.
bool remove_file(const std::string& path);

// Replaces the content of an existing file with text (written with CR LF
// line ends) so that the file is never seen half-written: the text goes to a
// fresh file beside it, which is then renamed over it.  The permission bits
// are kept; when path is a symbolic link, the file it leads to is replaced.
// On any failure the fresh file is removed, the original is untouched and
// the result is false.
bool replace_file_text(const std::string& path, std::string_view text);

// Creates a new, empty file with a unique name in the current directory
// (no directory part in the name), opened for writing.  Never reuses a name
// that exists, also when other runs create files at the same time.
bool create_unique_file(const std::string& prefix, const std::string& suffix, text_writer& writer,
                        std::string* name);

#endif  // KIT_COMMON_FILE_SYSTEM_H_
