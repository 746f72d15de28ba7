#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "common/ascii.h"
#include "common/file_system.h"
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
// are kept, and has an interrupt remove it; -1 when none can be made.
int create_registered(const std::string& pattern, int suffix_length, std::string* name) {
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  interrupts_held hold;
  int fd = mkstemps(buffer.data(), suffix_length);
  if (fd < 0) return -1;
  *name = buffer.data();
  remove_on_interrupt(*name);
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

// Takes the old file's owner and group where this run may set them, then
// its permission bits (in this order: a change of owner clears the set-user
// and set-group bits).  Where the owner cannot be kept, the replacement
// belongs to whoever runs the build, as any rewrite by a new file would.
bool take_over_attributes(int fd, const struct stat& old) {
  if (fchown(fd, old.st_uid, old.st_gid) != 0) (void)!fchown(fd, -1, old.st_gid);
  return fchmod(fd, old.st_mode & 07777) == 0;
}

// Copies the fresh file over the old one from its first byte, then cuts
// the old one to the new length.
bool rewrite_in_place(const file_replacement& replacement) {
  int from = open(replacement.fresh.c_str(), O_RDONLY | O_CLOEXEC);
  if (from < 0) return false;
  bool ok = lseek(replacement.target_fd, 0, SEEK_SET) == 0;
  off_t length = 0;
  char buffer[64 * 1024];
  while (ok) {
    const long n = read_input(from, buffer, sizeof buffer);
    if (n <= 0) {
      ok = n == 0;
      break;
    }
    ok = write_output(replacement.target_fd, buffer, static_cast<std::size_t>(n));
    length += n;
  }
  close(from);
  return ok && ftruncate(replacement.target_fd, length) == 0;
}

void close_target(file_replacement& replacement) {
  if (replacement.target_fd >= 0) close(replacement.target_fd);
  replacement.target_fd = -1;
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
  if (holds_zero_byte(path)) return replace_start::refused;
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
  replacement.target_fd = open(replacement.target.c_str(), O_WRONLY | O_CLOEXEC);
  if (replacement.target_fd < 0) return replace_start::refused;
  int fd =
      create_registered(directory_of(replacement.target) + "/.kit-XXXXXX", 0, &replacement.fresh);
  if (fd < 0) {
    // A folder that takes no new file: the new content waits among the
    // temporary files until it is written over the old.
    const char* temporary = getenv("TMPDIR");
    replacement.beside = false;
    fd =
        create_registered(std::string(temporary && *temporary ? temporary : "/tmp") + "/kit-XXXXXX",
                          0, &replacement.fresh);
  }
  // Rewritten in place, the old file keeps its attributes anyway.
  if (fd >= 0 && replacement.beside && !take_over_attributes(fd, st)) {
    close(fd);
    remove_registered(replacement.fresh);
    fd = -1;
  }
  if (fd < 0) {
    close_target(replacement);
    return replace_start::refused;
  }
  adopt_writer(writer, fd);
  return replace_start::started;
}

bool finish_replacement(file_replacement& replacement, text_writer& writer) {
  bool ok = close_writer(writer);
  if (ok && replacement.beside) {
    interrupts_held hold;
    if (rename(replacement.fresh.c_str(), replacement.target.c_str()) == 0) {
      forget_on_interrupt(replacement.fresh);
      close_target(replacement);
      return true;
    }
    // Someone else's file in a sticky folder can be written, not replaced.
    ok = (errno == EPERM || errno == EACCES) && replacement.target_fd >= 0;
  }
  if (ok) ok = rewrite_in_place(replacement);
  remove_registered(replacement.fresh);
  close_target(replacement);
  return ok;
}

void abandon_replacement(file_replacement& replacement, text_writer& writer) {
  close_writer(writer);
  remove_registered(replacement.fresh);
  close_target(replacement);
}

bool replace_file_text(const std::string& path, std::string_view text) {
  file_replacement replacement;
  text_writer writer;
  if (!path_exists(path) || start_replacement(path, replacement, writer) != replace_start::started)
    return false;
  write_text(writer, text);
  return finish_replacement(replacement, writer);
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
