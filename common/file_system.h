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

// Deletes a file; false when it could not be deleted.  An interrupt no
// longer removes it.
bool remove_file(const std::string& path);

// Whether path names a character or block device (a terminal, /dev/zero,
// NUL), which no build means as a response file.
bool is_device(const std::string& path);

// A file being replaced as a whole.  The new content goes to a fresh file,
// which takes the old one's place only when complete: the file is never
// seen half-written, and a run that stops early leaves it as it was.
struct file_replacement {
  std::string target;  // the file replaced, symbolic links followed
  // The fresh file beside it; empty where the folder takes no new file, and
  // the new content waits in memory until it is written over the old file
  // in place.
  std::string fresh;
  std::string in_memory;
  // The old file as it was checked at the start, open: a rewrite in place
  // writes through it, never through its name, which someone else may have
  // taken meanwhile (POSIX).  What Windows reopens by name is checked
  // against id.
  int checked = -1;
  file_id id;
  bool in_place = false;  // the old file is to be rewritten in place
  // The new content reaches the disk before it takes the old one's place,
  // so that a power loss leaves the old file or the new, never an empty one.
  bool flush = false;
};

enum class replace_start {
  started,     // the writer takes the new content
  not_a_file,  // a FIFO, a device or a folder stands there: nothing to replace
  refused,     // the user may not write the file, or no file can be made there
};

// Starts replacing the file under path, or making it when there is none.
// A symbolic link is followed only where the system would follow it: in a
// sticky folder that everyone may write (/tmp), only a link owned by this
// user or by the folder's owner.  A file the user may not write is
// refused as an in-place rewrite would be.  The fresh file is removed
// should an interrupt end the run.
replace_start start_replacement(const std::string& path, file_replacement& replacement,
                                text_writer& writer);

enum class replace_result {
  replaced,
  unchanged,  // a failure, and the old file is as it was
  damaged,    // a failure part-way through a rewrite in place that the old
              // content could not be put back after either
};

// Closes writer and puts what it wrote in the old file's place.  The new
// file gets the old one's permission bits, extended attributes and ACLs
// (and no ACL the old one had not), and its owner and group where this run
// may set them, all after the last write.  Where no fresh file can take
// the old one's place (a folder that takes no new file, someone else's file
// in a sticky folder, a file with other hard links, whose every name must
// show the new content), the old file is rewritten in place.
replace_result finish_replacement(file_replacement& replacement, text_writer& writer);

// Closes writer and removes the fresh file: the old file stays as it was.
void abandon_replacement(file_replacement& replacement, text_writer& writer);

// Replaces the content of the file under path with text (line feeds written
// as CR LF) as above, flushed to disk; unchanged when the file is no file,
// may not be written, or the text cannot be written in full.
replace_result replace_file_text(const std::string& path, std::string_view text);

// Creates a new, empty file with a unique name in the current directory
// (no directory part in the name), opened for writing.  Never reuses a name
// that exists, also when other runs create files at the same time.  The
// file is removed should an interrupt end the run before remove_file.
bool create_unique_file(const std::string& prefix, const std::string& suffix, text_writer& writer,
                        std::string* name);

#endif  // KIT_COMMON_FILE_SYSTEM_H_
