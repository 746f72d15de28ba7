#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <algorithm>
#include <cstdint>

#include "common/ascii.h"
#include "common/stream_io.h"

bool open_input(const std::string& path, input_file* file) {
  if (holds_zero_byte(path)) return false;
  int fd = _open(path.c_str(), _O_RDONLY | _O_BINARY);
  if (fd < 0) return false;
  struct _stat64 st;
  if (_fstat64(fd, &st) != 0 || (st.st_mode & _S_IFDIR)) {
    _close(fd);
    return false;
  }
  file->fd = fd;
  file->regular = (st.st_mode & _S_IFREG) != 0;
  file->size = static_cast<std::uint64_t>(st.st_size);
  return true;
}

int open_output(const std::string& path, bool exclusive) {
  if (holds_zero_byte(path)) return -1;
  return _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_BINARY | (exclusive ? _O_EXCL : _O_TRUNC),
               _S_IREAD | _S_IWRITE);
}

long read_input(int fd, char* to, std::size_t size) {
  return _read(fd, to, static_cast<unsigned>(std::min<std::size_t>(size, 1u << 30)));
}

bool input_shrank(int fd, std::uint64_t size) {
  struct _stat64 st;
  return _fstat64(fd, &st) != 0 || static_cast<std::uint64_t>(st.st_size) < size;
}

bool write_output(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    int n = _write(fd, data, static_cast<unsigned>(std::min<std::size_t>(size, 1u << 30)));
    if (n < 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool lock_file(int fd) {
  OVERLAPPED whole = {};
  return LockFileEx(reinterpret_cast<HANDLE>(_get_osfhandle(fd)), LOCKFILE_EXCLUSIVE_LOCK, 0,
                    MAXDWORD, MAXDWORD, &whole) != 0;
}

void unlock_file(int fd) {
  OVERLAPPED whole = {};
  UnlockFileEx(reinterpret_cast<HANDLE>(_get_osfhandle(fd)), 0, MAXDWORD, MAXDWORD, &whole);
}

std::int64_t file_length(int fd) {
  return _filelengthi64(fd);
}

bool seek_file(int fd, std::uint64_t offset) {
  return _lseeki64(fd, static_cast<__int64>(offset), SEEK_SET) == static_cast<__int64>(offset);
}

bool set_file_length(int fd, std::uint64_t length) {
  return _chsize_s(fd, static_cast<__int64>(length)) == 0;
}

bool sync_file(int fd) {
  return _commit(fd) == 0;
}

bool close_file(int fd) {
  return _close(fd) == 0;
}

bool prepare_standard(int fd) {
  _setmode(fd, _O_BINARY);  // the CR LF translation is ours alone
  return _isatty(fd) != 0;
}
