#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#ifdef __linux__
#include <sys/xattr.h>
#endif

#include "common/ascii.h"
#include "common/file_system.h"
#include "common/in_place.h"
#include "common/interrupt.h"
#include "common/stream_io.h"

namespace {

// The real file behind path, following every symbolic link.
bool resolve_target(const std::string& path, std::string* target) {
  char* resolved = realpath(path.c_str(), nullptr);
  if (!resolved) return false;
  *target = resolved;
  free(resolved);
  return true;
}

std::string directory_of(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Creates a new file from a mkstemp pattern whose last suffix_length bytes
// are kept; -1 when none can be made.
int create_from_pattern(const std::string& pattern, int suffix_length, std::string* name) {
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  const int fd = mkostemps(buffer.data(), suffix_length, O_CLOEXEC);
  if (fd >= 0) *name = buffer.data();
  return fd;
}

// As create_from_pattern, and has an interrupt remove the file.
int create_registered(const std::string& pattern, int suffix_length, std::string* name) {
  interrupts_held hold;
  const int fd = create_from_pattern(pattern, suffix_length, name);
  if (fd >= 0) remove_on_interrupt(*name);
  return fd;
}

void remove_registered(const std::string& name) {
  unlink(name.c_str());
  forget_on_interrupt(name);
}

// The permission bits a file created the ordinary way would have.
mode_t new_file_mode() {
  mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

// Carries the extended attributes of the file at from (its ACLs among
// them) to the file open as to.  One that the file system or this run may
// not set is left out, as the owner is.
void take_over_extended_attributes(const std::string& from, int to) {
#ifdef __linux__
  ssize_t size = listxattr(from.c_str(), nullptr, 0);
  if (size <= 0) return;
  std::vector<char> names(static_cast<std::size_t>(size));
  size = listxattr(from.c_str(), names.data(), names.size());
  std::vector<char> value;
  for (ssize_t at = 0; at < size; at += static_cast<ssize_t>(std::strlen(&names[at])) + 1) {
    const char* name = &names[at];
    ssize_t length = getxattr(from.c_str(), name, nullptr, 0);
    if (length < 0) continue;
    value.resize(static_cast<std::size_t>(length));
    length = getxattr(from.c_str(), name, value.data(), value.size());
    if (length >= 0) (void)!fsetxattr(to, name, value.data(), static_cast<std::size_t>(length), 0);
  }
#else
  (void)from;
  (void)to;
#endif
}

// Takes the old file's owner and group where this run may set them, its
// extended attributes, then its permission bits (last: a change of owner
// clears the set-user and set-group bits, and an ACL sets the group bits).
// Where the owner cannot be kept, the replacement belongs to whoever runs
// the build, as any rewrite by a new file would.
bool take_over_attributes(int fd, const std::string& old_path, const struct stat& old) {
  if (fchown(fd, old.st_uid, old.st_gid) != 0) (void)!fchown(fd, -1, old.st_gid);
  take_over_extended_attributes(old_path, fd);
  return fchmod(fd, old.st_mode & 07777) == 0;
}

// Whether this run may write the file, as a rewrite in place would.
bool may_write(const std::string& path) {
  const int fd = open_for_update(path);
  return fd >= 0 && close_file(fd);
}

// Where the new content of a file that cannot be replaced beside itself
// waits until it is written over the old one: among the temporary files,
// and without a name from the start, so that no one can swap it meanwhile
// and nothing is left behind.
int create_staged() {
  const char* temporary = getenv("TMPDIR");
  std::string name;
  interrupts_held hold;
  const int fd = create_from_pattern(
      std::string(temporary && *temporary ? temporary : "/tmp") + "/kit-XXXXXX", 0, &name);
  if (fd >= 0) unlink(name.c_str());
  return fd;
}

// Makes a rename in the folder last through a power loss.
void flush_folder(const std::string& folder) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  (void)fsync(fd);
  close(fd);
}

}  // namespace

bool path_exists(const std::string& path) {
  if (holds_zero_byte(path)) return false;
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

bool is_device(const std::string& path) {
  struct stat st;
  return !holds_zero_byte(path) && stat(path.c_str(), &st) == 0 &&
         (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode));
}

bool identify_file(const std::string& path, file_id* id) {
  if (holds_zero_byte(path)) return false;
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return false;
  id->device = static_cast<unsigned long long>(st.st_dev);
  id->inode = static_cast<unsigned long long>(st.st_ino);
  return true;
}

bool remove_file(const std::string& path) {
  if (holds_zero_byte(path)) return false;
  const bool removed = unlink(path.c_str()) == 0;
  forget_on_interrupt(path);
  return removed;
}

replace_start start_replacement(const std::string& path, file_replacement& replacement,
                                text_writer& writer) {
  replacement = file_replacement();
  // An empty name names no file, and would name the working folder here.
  if (path.empty() || holds_zero_byte(path)) return replace_start::refused;
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) {
    // Nothing there yet: the fresh file becomes the file.
    if (errno != ENOENT) return replace_start::refused;
    replacement.target = path;
    int fd = create_registered(directory_of(path) + "/.kit-XXXXXX", 0, &replacement.fresh);
    if (fd < 0) return replace_start::refused;
    if (fchmod(fd, new_file_mode()) != 0) {
      close(fd);
      remove_registered(replacement.fresh);
      return replace_start::refused;
    }
    adopt_writer(writer, fd);
    return replace_start::started;
  }
  // Renaming over a FIFO or a device would put a plain file in its place
  // (over /dev/null, for a build running as root): only files are replaced.
  if (!resolve_target(path, &replacement.target) || stat(replacement.target.c_str(), &st) != 0 ||
      !S_ISREG(st.st_mode)) {
    return replace_start::not_a_file;
  }
  // The rename needs only the folder's permission; the file's own counts.
  if (!may_write(replacement.target)) return replace_start::refused;
  // Every name of a file with other hard links must show the new content,
  // so such a file is rewritten in place, as is one in a folder that takes
  // no new file.
  int fd = -1;
  if (st.st_nlink == 1) {
    fd =
        create_registered(directory_of(replacement.target) + "/.kit-XXXXXX", 0, &replacement.fresh);
  }
  if (fd >= 0 && !take_over_attributes(fd, replacement.target, st)) {
    close(fd);
    remove_registered(replacement.fresh);
    return replace_start::refused;
  }
  if (fd < 0) fd = create_staged();
  if (fd < 0) return replace_start::refused;
  adopt_writer(writer, fd);
  return replace_start::started;
}

bool finish_replacement(file_replacement& replacement, text_writer& writer, flush_to_disk flush) {
  const int fd = release_writer(writer);
  bool ok = fd >= 0 && (flush == flush_to_disk::no || sync_file(fd));
  if (ok && !replacement.fresh.empty()) {
    interrupts_held hold;
    if (rename(replacement.fresh.c_str(), replacement.target.c_str()) == 0) {
      forget_on_interrupt(replacement.fresh);
      close(fd);
      if (flush == flush_to_disk::yes) flush_folder(directory_of(replacement.target));
      return true;
    }
    // Someone else's file in a sticky folder can be written, not replaced.
    ok = errno == EPERM || errno == EACCES;
  }
  // The new content is read back through the descriptor it was written
  // with, never by its name, which someone else may have taken meanwhile.
  if (ok) ok = write_in_place(replacement.target, fd, flush == flush_to_disk::yes);
  if (fd >= 0) close(fd);
  if (!replacement.fresh.empty()) remove_registered(replacement.fresh);
  return ok;
}

void abandon_replacement(file_replacement& replacement, text_writer& writer) {
  close_writer(writer);
  if (!replacement.fresh.empty()) remove_registered(replacement.fresh);
}

bool replace_file_text(const std::string& path, std::string_view text) {
  file_replacement replacement;
  text_writer writer;
  if (!path_exists(path) || start_replacement(path, replacement, writer) != replace_start::started)
    return false;
  write_text(writer, text);
  // Response files are kept with the sources: a power loss must leave the
  // old or the new one, never an empty file.
  return finish_replacement(replacement, writer, flush_to_disk::yes);
}

bool create_unique_file(const std::string& prefix, const std::string& suffix, text_writer& writer,
                        std::string* name) {
  std::string pattern = prefix + "XXXXXX" + suffix;
  if (holds_zero_byte(pattern) || pattern.find('/') != std::string::npos) return false;
  int fd = create_registered(pattern, static_cast<int>(suffix.size()), name);
  if (fd < 0) return false;
  // mkstemp makes the file private; a response file may be read by tools
  // running as another user, so it gets the usual permissions.
  if (fchmod(fd, new_file_mode()) != 0) {
    close(fd);
    remove_registered(*name);
    return false;
  }
  adopt_writer(writer, fd);
  return true;
}
