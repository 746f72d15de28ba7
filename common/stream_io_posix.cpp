#include <errno.h>
#include <fcntl.h>
#include <stdint.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/ascii.h"
#include "common/stream_io.h"

bool open_input(const std::string& path, input_file* file) {
  if (holds_zero_byte(path)) return false;
  // Opened the ordinary way: a FIFO waits for its writer, as with cat.
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    close(fd);
    return false;
  }
  file->fd = fd;
  file->regular = S_ISREG(st.st_mode);
  file->size = static_cast<uint64_t>(st.st_size);
  return true;
}

int open_output(const std::string& path, bool exclusive) {
  if (holds_zero_byte(path)) return -1;
  return open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | (exclusive ? O_EXCL : O_TRUNC), 0666);
}

long read_input(int fd, char* to, size_t size) {
  for (;;) {
    ssize_t n = read(fd, to, size);
    if (n >= 0 || errno != EINTR) return static_cast<long>(n);
  }
}

bool input_shrank(int fd, uint64_t size) {
  struct stat st;
  return fstat(fd, &st) != 0 || static_cast<uint64_t>(st.st_size) < size;
}

bool write_output(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool lock_file(int fd) {
  while (flock(fd, LOCK_EX) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

void unlock_file(int fd) {
  flock(fd, LOCK_UN);
}

int64_t file_length(int fd) {
  struct stat st;
  return fstat(fd, &st) == 0 ? static_cast<int64_t>(st.st_size) : -1;
}

bool seek_file(int fd, uint64_t offset) {
  return lseek(fd, static_cast<off_t>(offset), SEEK_SET) == static_cast<off_t>(offset);
}

bool set_file_length(int fd, uint64_t length) {
  return ftruncate(fd, static_cast<off_t>(length)) == 0;
}

bool sync_file(int fd) {
  return fsync(fd) == 0;
}

bool close_file(int fd) {
  return close(fd) == 0;
}

bool prepare_standard(int fd) {
  return isatty(fd) != 0;
}
