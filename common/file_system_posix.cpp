#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "common/file_system.h"

namespace {

bool holds_zero_byte(const std::string& name) {
  return name.find('\0') != std::string::npos;
}

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

}  // namespace

bool path_exists(const std::string& path) {
  if (holds_zero_byte(path)) return false;
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
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
  return unlink(path.c_str()) == 0;
}

bool replace_file_text(const std::string& path, std::string_view text) {
  if (holds_zero_byte(path)) return false;
  std::string target;
  struct stat st;
  if (!resolve_target(path, &target) || stat(target.c_str(), &st) != 0) return false;
  // Renaming over a FIFO or a device would put a plain file in its place
  // (over /dev/null, for a build running as root): only files are replaced.
  if (!S_ISREG(st.st_mode)) return false;
  std::string pattern = directory_of(target) + "/.kit-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  int fd = mkstemp(name.data());
  if (fd < 0) return false;
  std::string fresh = name.data();
  text_writer writer;
  writer.fd = fd;
  writer.owns_fd = true;
  bool ok = fchmod(fd, st.st_mode & 07777) == 0;
  write_text(writer, text);
  ok = close_writer(writer) && ok;
  if (ok && rename(fresh.c_str(), target.c_str()) == 0) return true;
  unlink(fresh.c_str());
  return false;
}

bool create_unique_file(const std::string& prefix, const std::string& suffix, text_writer& writer,
                        std::string* name) {
  std::string pattern = prefix + "XXXXXX" + suffix;
  if (holds_zero_byte(pattern) || pattern.find('/') != std::string::npos) return false;
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  int fd = mkstemps(buffer.data(), static_cast<int>(suffix.size()));
  if (fd < 0) return false;
  // mkstemp makes the file private; a response file may be read by tools
  // running as another user, so it gets the usual permissions.
  mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, 0666 & ~mask);
  close_writer(writer);
  writer.error = false;
  writer.fd = fd;
  writer.owns_fd = true;
  writer.policy = flush_policy::block;
  *name = buffer.data();
  return true;
}
