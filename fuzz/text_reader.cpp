// Reads the input through the text reader and through a byte-at-a-time
// reading of the same rules, and aborts on the first difference: in a line,
// in "no line", in the end-of-file indicator, or in the previous line that a
// read yielding nothing must leave alone.
//
// The first three bytes choose the source and the limit:
//   byte 0: modulo 3, 0 memory, 1 a file, read in small blocks, in which
//           the end of the first block falls inside the data, 2 a pipe
//           fed in small chunks (so a CR LF pair may arrive split between
//           two reads of the pipe); bit 5 looks at the raw bytes before
//           each line read, and takes some of them as read; bit 6 makes
//           the file's filler one long line (see through_file);
//   byte 1: the limit of each line read;
//   byte 2: where the block ends and its size, or the chunk sizes.
#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <thread>

#include "common/text_stream.h"
#include "fuzz/fuzz_support.h"
#include "tests/support/reference_reader.h"
#include "tests/support/test_streams.h"

namespace {

std::size_t choose_limit(std::uint8_t code) {
  if (code < 200) return 2 + code % 20;
  const std::size_t large[] = {255, 256, 2048, 4096, std::numeric_limits<std::size_t>::max()};
  return large[code % 5];
}

// Before a line read, the raw bytes from where the reading stands: as many
// as were asked for unless the data ends first, and of them the ones a
// fast path would look at must be the data's.  Some of them are then taken
// as read, by the reader and the reference alike.
void compare_raw(text_reader& reader, const std::string& bytes, reference_reader& reference,
                 std::uint8_t pattern) {
  const std::size_t least = pattern % 200;
  bool to_end = false;
  const std::string_view raw = raw_bytes(reader, least, &to_end);
  const std::string_view want = std::string_view(bytes).substr(reference.at);
  if (to_end ? raw.size() != want.size() : raw.size() < least || raw.size() > want.size())
    kit_fuzz_fail("raw bytes short of what was asked, or more than the data");
  const std::size_t skip = std::min<std::size_t>(raw.size(), pattern / 200);
  const std::size_t looked_at = std::min(raw.size(), std::max(least, skip));
  if (raw.substr(0, looked_at) != want.substr(0, looked_at) ||
      (!raw.empty() && raw.back() != want[raw.size() - 1]))
    kit_fuzz_fail("raw bytes differ from the data");
  skip_raw(reader, skip);
  reference.at += skip;
}

// Compares every read until the reference has consumed the whole data and
// reports no line; then one more read must also yield none.
void compare(text_reader& reader, const std::string& bytes, std::size_t limit, bool raw) {
  reference_reader reference{bytes};
  std::string_view line;
  std::string want, previous;
  bool have_previous = false;
  for (unsigned round = 0;; ++round) {
    if (raw) compare_raw(reader, bytes, reference, static_cast<std::uint8_t>(round * 37));
    const bool wanted = reference_read_line(reference, limit, &want);
    const bool got = read_line(reader, limit, &line);
    if (got != wanted) kit_fuzz_fail("a read disagrees on whether it yields a line");
    if (got && line != want) {
      std::fprintf(stderr, "read %s, expected %s\n", kit_fuzz_show(line).c_str(),
                   kit_fuzz_show(want).c_str());
      kit_fuzz_fail("a line differs from the byte-at-a-time reading");
    }
    if (!got && have_previous && line != previous)
      kit_fuzz_fail("a read yielding no line changed the previous line");
    if (at_eof(reader) != reference.eof) kit_fuzz_fail("the end-of-file indicator differs");
    if (reader_failed(reader)) kit_fuzz_fail("a read error on good data");
    if (got) {
      previous.assign(line);
      have_previous = true;
    }
    if (!wanted && reference.at == bytes.size()) break;
  }
  bool to_end = false;
  if (read_line(reader, limit, &line) || !raw_bytes(reader, 1, &to_end).empty() || !to_end)
    kit_fuzz_fail("a line after the end of the data");
}

void feed_pipe(int fd, const std::string* bytes, std::uint8_t pattern, std::atomic<bool>* stop) {
  std::size_t at = 0;
  unsigned state = pattern;
  while (at < bytes->size() && !stop->load()) {
    state = state * 1103515245u + 12345u;
    std::size_t chunk = std::min<std::size_t>(1 + (state >> 16) % 16, bytes->size() - at);
    ssize_t n = ::write(fd, bytes->data() + at, chunk);
    if (n <= 0) break;
    at += static_cast<std::size_t>(n);
    // Wait until the reader has taken the chunk, so that each chunk comes
    // out of the pipe in a read of its own.
    int pending = 0;
    while (!stop->load() && ::ioctl(fd, FIONREAD, &pending) == 0 && pending > 0)
      std::this_thread::yield();
  }
  ::close(fd);
}

void through_pipe(const std::string& bytes, std::size_t limit, bool raw, std::uint8_t pattern) {
  static const std::string fifo = kit_fuzz_scratch() + "/pipe";
  static const bool made = [] {
    signal(SIGPIPE, SIG_IGN);
    ::unlink(fifo.c_str());
    return ::mkfifo(fifo.c_str(), 0600) == 0;
  }();
  if (!made) kit_fuzz_fail("cannot make the FIFO");
  // Opened for reading and writing, the FIFO has a writer before the
  // reader opens it, so the reader does not take it for an empty one.
  int writer = ::open(fifo.c_str(), O_RDWR | O_CLOEXEC);
  if (writer < 0) kit_fuzz_fail("cannot open the FIFO");
  text_reader reader;
  if (!open_reader(reader, fifo)) kit_fuzz_fail("cannot read the FIFO");
  std::atomic<bool> stop{false};
  std::thread feeder(feed_pipe, writer, &bytes, pattern, &stop);
  compare(reader, bytes, limit, raw);
  stop = true;
  feeder.join();
}

// Filler before the data puts the end of the reader's first block at a
// chosen place in it (or just before it).  Filler lines are read with a large limit
// before the comparison, which then starts at the data; with one_line the
// filler is a single line without a line feed that the data continues, so
// that a line longer than a block is read, and everything is compared.
void through_file(const std::string& data, std::size_t limit, bool raw, bool one_line,
                  std::uint8_t where) {
  const std::size_t boundary = kit_fuzz_block_size(where);
  const std::size_t filler = boundary - std::min(boundary, where / 4 * data.size() / 63);
  std::string bytes;
  std::size_t filler_lines = 0;
  if (one_line) {
    bytes.assign(filler, 'L');
  } else {
    for (; bytes.size() + 8 <= filler; ++filler_lines) bytes += "filler\r\n";
    if (bytes.size() < filler) {
      bytes.append(filler - bytes.size() - 1, 'f');
      bytes += '\n';
      ++filler_lines;
    }
  }
  bytes += data;
  static const std::string path = kit_fuzz_scratch() + "/file";
  static std::string written;
  if (written != bytes && !kit_fuzz_write_file(path, bytes)) kit_fuzz_fail("cannot write the file");
  written = bytes;
  text_reader reader;
  if (!open_reader_in_blocks(reader, path, boundary)) kit_fuzz_fail("cannot read the file");
  std::string_view line;
  for (std::size_t i = 0; i < filler_lines; ++i) {
    if (!read_line(reader, 4096, &line) || line.empty() || line.back() != '\n')
      kit_fuzz_fail("a filler line was misread");
  }
  compare(reader, one_line ? bytes : data, limit, raw);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  const std::string bytes(reinterpret_cast<const char*>(data) + 3, size - 3);
  const std::size_t limit = choose_limit(data[1]);
  const bool raw = data[0] & 0x20;
  switch (data[0] % 3) {
    case 0: {
      text_reader reader;
      open_memory_reader(reader, bytes);
      compare(reader, bytes, limit, raw);
      break;
    }
    case 1:
      through_file(bytes, limit, raw, data[0] & 0x40, data[2]);
      break;
    case 2:
      through_pipe(bytes, limit, raw, data[2]);
      break;
  }
  return 0;
}
