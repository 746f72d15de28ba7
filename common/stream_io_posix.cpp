#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdint.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>

#include "common/ascii.h"
#include "common/stream_io.h"

namespace {

// Below this size a file is read: mapping it would cost more than it saves.
const uint64_t kMapAtLeast = 1024 * 1024;

// The file mapped for reading.  A page of it that goes away while it is
// read (the file was truncated) would end the program with SIGBUS; the
// handler maps a page of zeros over it instead and notes the loss, which
// the reader looks at after each step.  What a signal handler reads must
// be global, so there is this one slot, and one mapped file at a time.
struct mapped_file {
  std::atomic<const char*> begin{nullptr};
  std::atomic<size_t> size{0};
  std::atomic<size_t> page{4096};
  volatile sig_atomic_t lost = 0;
  size_t dropped = 0;  // bytes let go of from the start
};
mapped_file g_mapped;

void on_bus_error(int, siginfo_t* info, void*) {
  const char* at = static_cast<const char*>(info->si_addr);
  const char* begin = g_mapped.begin.load();
  if (begin && at >= begin && at < begin + g_mapped.size.load()) {
    const uintptr_t page = reinterpret_cast<uintptr_t>(at) & ~(g_mapped.page.load() - 1);
    // mmap is a plain system call on the systems that have SIGBUS for this.
    if (mmap(reinterpret_cast<void*>(page), g_mapped.page.load(), PROT_READ,
             MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) != MAP_FAILED) {
      g_mapped.lost = 1;
      return;
    }
  }
  // Not ours: the access runs again and ends the program as it would have.
  signal(SIGBUS, SIG_DFL);
}

bool catch_bus_errors() {
  struct sigaction action = {};
  action.sa_sigaction = on_bus_error;
  action.sa_flags = SA_SIGINFO;
  sigemptyset(&action.sa_mask);
  return sigaction(SIGBUS, &action, nullptr) == 0;
}

}  // namespace

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

int open_for_update(const std::string& path) {
  if (holds_zero_byte(path)) return -1;
  return open(path.c_str(), O_RDWR | O_CLOEXEC);
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

const char* map_input(int fd, uint64_t size) {
  // A file that fills much of the address space is read instead.
  if (size < kMapAtLeast || size > SIZE_MAX / 4 || g_mapped.begin.load()) return nullptr;
  static const bool catching = catch_bus_errors();
  if (!catching) return nullptr;
  void* map = mmap(nullptr, static_cast<size_t>(size), PROT_READ, MAP_PRIVATE, fd, 0);
  if (map == MAP_FAILED) return nullptr;
  // What the file gains meanwhile is read after the mapped bytes.
  if (lseek(fd, static_cast<off_t>(size), SEEK_SET) < 0) {
    munmap(map, static_cast<size_t>(size));
    return nullptr;
  }
  g_mapped.page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  g_mapped.size = static_cast<size_t>(size);
  g_mapped.lost = 0;
  g_mapped.dropped = 0;
  g_mapped.begin = static_cast<const char*>(map);
  return static_cast<const char*>(map);
}

bool advance_mapping(const char* map, size_t drop, size_t from, size_t to) {
  char* base = const_cast<char*>(map);
  const size_t page = g_mapped.page;
  drop &= ~(page - 1);
  if (drop > g_mapped.dropped) {
    madvise(base + g_mapped.dropped, drop - g_mapped.dropped, MADV_DONTNEED);
    g_mapped.dropped = drop;
  }
  // Read ahead only: mapping the pages here one by one costs more than the
  // faults that map them many at a time.
  from &= ~(page - 1);
  if (to > from) madvise(base + from, to - from, MADV_WILLNEED);
  return !g_mapped.lost;
}

void unmap_input(const char* map, size_t size) {
  g_mapped.begin = nullptr;
  munmap(const_cast<char*>(map), size);
}
