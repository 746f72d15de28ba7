#include "common/in_place.h"

#include <algorithm>
#include <cstdint>

#include "common/interrupt.h"
#include "common/stream_io.h"

namespace {

// Copies bytes [begin, end) of one file to the same place in another.
bool copy_bytes(int from, int to, std::uint64_t begin, std::uint64_t end) {
  if (!seek_file(from, begin) || !seek_file(to, begin)) return false;
  char buffer[64 * 1024];
  while (begin < end) {
    const long n = read_input(from, buffer, std::min<std::uint64_t>(sizeof buffer, end - begin));
    if (n <= 0 || !write_output(to, buffer, static_cast<std::size_t>(n))) return false;
    begin += static_cast<std::uint64_t>(n);
  }
  return true;
}

}  // namespace

bool write_in_place(const std::string& target, int content, bool flush) {
  const std::int64_t length = file_length(content);
  if (length < 0) return false;
  interrupts_held hold;
  const int fd = open_for_update(target);
  if (fd < 0) return false;
  const std::int64_t old_length = file_length(fd);
  bool ok = old_length >= 0;
  if (ok && length > old_length) {
    ok = copy_bytes(content, fd, old_length, length);
    if (!ok) set_file_length(fd, old_length);
  }
  ok = ok && copy_bytes(content, fd, 0, std::min(old_length, length)) &&
       set_file_length(fd, length) && (!flush || sync_file(fd));
  ok = close_file(fd) && ok;
  return ok;
}
