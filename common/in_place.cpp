#include "common/in_place.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "common/interrupt.h"
#include "common/stream_io.h"

namespace {

// A place in a file (fd), or in memory.
struct place {
  int fd;
  std::string* memory;
  std::uint64_t offset;
};

bool read_at(const place& from, char* to, std::size_t size) {
  if (from.fd < 0) {
    if (from.offset + size > from.memory->size()) return false;
    std::memcpy(to, from.memory->data() + from.offset, size);
    return true;
  }
  if (!seek_file(from.fd, from.offset)) return false;
  while (size > 0) {
    const long n = read_input(from.fd, to, size);
    if (n <= 0) return false;
    to += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool write_at(const place& to, const char* from, std::size_t size) {
  if (to.fd >= 0) return seek_file(to.fd, to.offset) && write_output(to.fd, from, size);
  try {
    if (to.memory->size() < to.offset + size) to.memory->resize(to.offset + size);
  } catch (const std::bad_alloc&) {
    return false;
  }
  std::memcpy(to.memory->data() + to.offset, from, size);
  return true;
}

bool copy_bytes(place from, place to, std::uint64_t count) {
  char buffer[64 * 1024];
  while (count > 0) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(sizeof buffer, count));
    if (!read_at(from, buffer, n) || !write_at(to, buffer, n)) return false;
    from.offset += n;
    to.offset += n;
    count -= n;
  }
  return true;
}

// Copies count bytes from from over the start of target, which then has
// length bytes.
bool write_over(const place& from, int target, std::uint64_t count, std::uint64_t length,
                bool flush) {
  return copy_bytes(from, {target, nullptr, 0}, count) && set_file_length(target, length) &&
         (!flush || sync_file(target));
}

}  // namespace

bool rewrite_in_place(bool fresh_made, unsigned long long links) {
  return !fresh_made || links > 1;
}

void stage_new_content(int fresh, file_replacement& replacement, text_writer& writer) {
  if (fresh >= 0) {
    adopt_writer(writer, fresh);
  } else {
    open_memory_writer(writer, &replacement.in_memory);
  }
}

bool release_staged(file_replacement& replacement, text_writer& writer, int* fresh) {
  *fresh = -1;
  if (replacement.fresh.empty()) return close_writer(writer);
  *fresh = release_writer(writer);
  return *fresh >= 0;
}

replace_result write_in_place(int target, int fresh, file_replacement& replacement) {
  std::string* memory = &replacement.in_memory;
  const std::int64_t new_length =
      fresh >= 0 ? file_length(fresh) : static_cast<std::int64_t>(memory->size());
  // Waits here, where an interrupt still ends the run with nothing changed.
  if (new_length < 0 || !lock_file(target)) return replace_result::unchanged;
  const std::uint64_t length = static_cast<std::uint64_t>(new_length);
  const std::int64_t old_length = file_length(target);
  const std::uint64_t old = static_cast<std::uint64_t>(old_length);
  // The old content goes after the new one, to be put back from there.
  const place kept = {fresh, memory, length};
  replace_result result = replace_result::unchanged;
  if (old_length >= 0 && copy_bytes({target, nullptr, 0}, kept, old)) {
    interrupts_held hold;
    // The tail past the old end first: it makes the room, and a full disk
    // fails there, before any old byte changed.
    const bool written =
        (length <= old || copy_bytes({fresh, memory, old}, {target, nullptr, old}, length - old)) &&
        write_over({fresh, memory, 0}, target, std::min(length, old), length, replacement.flush);
    if (written) {
      result = replace_result::replaced;
    } else if (!write_over(kept, target, old, old, replacement.flush)) {
      result = replace_result::damaged;
    }
  }
  unlock_file(target);
  return result;
}
