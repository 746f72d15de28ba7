#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
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

std::string directory_of(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Whether the system would follow the symbolic link link in folder for
// this user: in a sticky folder that everyone may write (/tmp), only a link
// of this user's or of the folder's owner, so that no one else can point
// the run at a file of their choosing.  The kit follows links itself, so
// the system's own rule would never apply.
bool may_follow(const struct stat& folder, const struct stat& link) {
  const mode_t shared = S_ISVTX | S_IWOTH;
  return (folder.st_mode & shared) != shared || link.st_uid == geteuid() ||
         link.st_uid == folder.st_uid;
}

bool read_link(const std::string& path, std::string* text) {
  for (std::size_t size = 256;; size *= 2) {
    text->resize(size);
    const ssize_t n = readlink(path.c_str(), text->data(), size);
    if (n < 0) return false;
    if (static_cast<std::size_t>(n) < size) {
      text->resize(static_cast<std::size_t>(n));
      return n > 0;
    }
  }
}

// The file behind path, as a path without symbolic links: each link on the
// way is followed where may_follow allows it.  The file itself need not
// exist.  False for a link that may not be followed, a loop, or a folder
// on the way that cannot be looked into.
bool resolve_target(const std::string& path, std::string* target) {
  std::string done = path[0] == '/' ? "/" : "";  // ends in '/' unless empty
  std::string rest = path;
  int links = 0;
  while (!rest.empty()) {
    const std::size_t slash = rest.find('/');
    const bool more = slash != std::string::npos;
    const std::string part = rest.substr(0, slash);
    rest.erase(0, more ? slash + 1 : rest.size());
    if (part.empty() || part == ".") continue;
    const std::string at = done + part;
    struct stat st, folder;
    if (lstat(at.c_str(), &st) != 0) {
      const bool missing = errno == ENOENT && !more;
      *target = at;
      return missing;
    }
    if (!S_ISLNK(st.st_mode)) {
      if (more && !S_ISDIR(st.st_mode)) return false;
      done = at + "/";
      continue;
    }
    std::string link;
    if (++links > 40 || lstat(done.empty() ? "." : done.c_str(), &folder) != 0 ||
        !may_follow(folder, st) || !read_link(at, &link))
      return false;
    rest = more ? link + "/" + rest : link;
    if (link[0] == '/') done = "/";
  }
  if (done.empty()) done = "./";
  *target = done.size() > 1 ? done.substr(0, done.size() - 1) : done;
  return true;
}

// Creates a new file from a mkstemp pattern whose last suffix_length bytes
// are kept, and has an interrupt remove it; -1 when none can be made.
int create_registered(const std::string& pattern, int suffix_length, std::string* name) {
  int fd = -1;
  make_removed_on_interrupt(
      [&](std::string* made) {
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        fd = mkostemps(buffer.data(), suffix_length, O_CLOEXEC);
        if (fd >= 0) *made = buffer.data();
        return fd >= 0;
      },
      name);
  return fd;
}

// The permission bits a file created the ordinary way would have.
mode_t new_file_mode() {
  mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

#ifdef __linux__
// The names of the extended attributes of the file open as fd.
std::vector<std::string> attribute_names(int fd) {
  std::vector<std::string> names;
  ssize_t size = flistxattr(fd, nullptr, 0);
  std::vector<char> list(static_cast<std::size_t>(size > 0 ? size : 0));
  size = size > 0 ? flistxattr(fd, list.data(), list.size()) : 0;
  for (ssize_t at = 0; at < size; at += static_cast<ssize_t>(names.back().size()) + 1)
    names.emplace_back(&list[static_cast<std::size_t>(at)]);
  return names;
}
#endif

// Gives the file open as to the extended attributes of the file open as
// from (its ACLs among them), and none other: an ACL that to inherited from
// its folder would give someone the old file did not.  One that the file
// system or this run may not set is left out, as the owner is.
void take_over_extended_attributes(int from, int to) {
#ifdef __linux__
  const std::vector<std::string> kept = attribute_names(from);
  for (const std::string& name : attribute_names(to)) {
    if (std::find(kept.begin(), kept.end(), name) == kept.end())
      (void)!fremovexattr(to, name.c_str());
  }
  std::vector<char> value;
  for (const std::string& name : kept) {
    ssize_t length = fgetxattr(from, name.c_str(), nullptr, 0);
    if (length < 0) continue;
    value.resize(static_cast<std::size_t>(length));
    length = fgetxattr(from, name.c_str(), value.data(), value.size());
    if (length >= 0)
      (void)!fsetxattr(to, name.c_str(), value.data(), static_cast<std::size_t>(length), 0);
  }
#else
  (void)from;
  (void)to;
#endif
}

// Takes the old file's owner and group where this run may set them, its
// extended attributes, then its permission bits: after the last write,
// which clears the set-user and set-group bits and a capability, and in
// this order, since a change of owner clears them too, and an ACL sets the
// group bits.  Where the owner cannot be kept, the replacement belongs to
// whoever runs the build, as any rewrite by a new file would.
bool take_over_attributes(int fd, int old_fd) {
  struct stat old;
  if (fstat(old_fd, &old) != 0) return false;
  if (fchown(fd, old.st_uid, old.st_gid) != 0) (void)!fchown(fd, -1, old.st_gid);
  take_over_extended_attributes(old_fd, fd);
  return fchmod(fd, old.st_mode & 07777) == 0;
}

// Opens the file found at target, a regular file as st describes it, for
// a rewrite in place: the very file, or -1.  Without reading, the old
// content could not be kept, and only a rename can replace the file.
int open_checked(const std::string& target, const struct stat& st) {
  const int flags = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
  int fd = open(target.c_str(), O_RDWR | flags);
  if (fd < 0 && errno == EACCES) fd = open(target.c_str(), O_WRONLY | flags);
  struct stat opened;
  if (fd >= 0 &&
      (fstat(fd, &opened) != 0 || opened.st_dev != st.st_dev || opened.st_ino != st.st_ino)) {
    close(fd);
    fd = -1;
  }
  return fd;
}

// Makes a rename in the folder last through a power loss.
void flush_folder(const std::string& folder) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  (void)fsync(fd);
  close(fd);
}

enum class rename_result { done, refused, failed };

// Puts the fresh file, open as fd, in the old one's place.
rename_result rename_fresh(file_replacement& replacement, int fd) {
  if ((replacement.checked >= 0 && !take_over_attributes(fd, replacement.checked)) ||
      (replacement.flush && !sync_file(fd)))
    return rename_result::failed;
  interrupts_held hold;
  if (rename(replacement.fresh.c_str(), replacement.target.c_str()) != 0) {
    // Someone else's file in a sticky folder can be written, not replaced.
    return errno == EPERM || errno == EACCES ? rename_result::refused : rename_result::failed;
  }
  forget_on_interrupt(replacement.fresh);
  replacement.fresh.clear();
  if (replacement.flush) flush_folder(directory_of(replacement.target));
  return rename_result::done;
}

// Puts the new content, in the fresh file open as fd or in memory, in
// place of the old.
replace_result put_new_content(file_replacement& replacement, int fd) {
  if (!replacement.in_place) {
    const rename_result renamed = rename_fresh(replacement, fd);
    if (renamed != rename_result::refused) {
      return renamed == rename_result::done ? replace_result::replaced : replace_result::unchanged;
    }
  }
  return write_in_place(replacement.checked, fd, replacement);
}

// Finds the file that path names, and opens it where it exists: refused
// where that may not be done, not_a_file for a FIFO, a device or a folder
// (renaming over one would put a plain file in its place: over /dev/null,
// for a build running as root).
replace_start check_target(const std::string& path, file_replacement& replacement,
                           struct stat* st) {
  // An empty name names no file, and would name the working folder here.
  if (path.empty() || holds_zero_byte(path) || !resolve_target(path, &replacement.target))
    return replace_start::refused;
  if (lstat(replacement.target.c_str(), st) != 0) return replace_start::started;
  if (!S_ISREG(st->st_mode)) return replace_start::not_a_file;
  // The rename needs only the folder's permission; the file's own counts.
  replacement.checked = open_checked(replacement.target, *st);
  return replacement.checked >= 0 ? replace_start::started : replace_start::refused;
}

// Makes the fresh file beside the target; a new file gets the permission
// bits of one made the ordinary way.  -1 when none can be made.
int make_fresh(file_replacement& replacement) {
  int fd =
      create_registered(directory_of(replacement.target) + "/.kit-XXXXXX", 0, &replacement.fresh);
  if (fd >= 0 && replacement.checked < 0 && fchmod(fd, new_file_mode()) != 0) {
    close(fd);
    remove_file(replacement.fresh);
    replacement.fresh.clear();
    fd = -1;
  }
  return fd;
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
  struct stat st;
  const replace_start checked = check_target(path, replacement, &st);
  if (checked != replace_start::started) return checked;
  const bool exists = replacement.checked >= 0;
  const int fd = make_fresh(replacement);
  if (fd < 0 && !exists) return replace_start::refused;
  replacement.in_place = exists && rewrite_in_place(fd >= 0, st.st_nlink);
  stage_new_content(fd, replacement, writer);
  return replace_start::started;
}

replace_result finish_replacement(file_replacement& replacement, text_writer& writer) {
  int fd = -1;
  const replace_result result = release_staged(replacement, writer, &fd)
                                    ? put_new_content(replacement, fd)
                                    : replace_result::unchanged;
  if (fd >= 0) close(fd);
  abandon_replacement(replacement, writer);
  return result;
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
    remove_file(*name);
    return false;
  }
  adopt_writer(writer, fd);
  return true;
}
