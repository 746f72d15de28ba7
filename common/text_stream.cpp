#include "common/text_stream.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>

#ifdef _WIN32
#include <io.h>
#define KIT_O_BINARY _O_BINARY
#else
#include <unistd.h>
#define KIT_O_BINARY 0
#endif

namespace {

const std::size_t kReadBlock = 64 * 1024;
const std::size_t kWriteBlock = 64 * 1024;
const char kCtrlZ = 0x1A;

bool holds_zero_byte(const std::string& name) {
  return name.find('\0') != std::string::npos;
}

// Fetches the next block from the file.  False at end of file or on error
// (the error flag tells which); the bytes not yet taken are never lost.
bool refill(text_reader& reader) {
  if (reader.pos < reader.end) return true;
  if (reader.fd < 0) return false;
  if (reader.block.size() < kReadBlock) reader.block.resize(kReadBlock);
  for (;;) {
    ssize_t n = ::read(reader.fd, reader.block.data(), reader.block.size());
    if (n > 0) {
      reader.pos = 0;
      reader.end = static_cast<std::size_t>(n);
      return true;
    }
    if (n == 0) return false;
    if (errno == EINTR) continue;
    reader.error = true;
    return false;
  }
}

const char* first_of(const char* a, const char* b) {
  if (!a) return b;
  if (!b) return a;
  return std::min(a, b);
}

bool write_all(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool init_standard(text_writer& writer, int fd, bool unbuffered) {
#ifdef _WIN32
  _setmode(fd, _O_BINARY);  // the CR LF translation is ours alone
  bool terminal = _isatty(fd) != 0;
#else
  bool terminal = isatty(fd) != 0;
#endif
  writer.fd = fd;
  writer.policy =
      unbuffered ? flush_policy::each_write : (terminal ? flush_policy::line : flush_policy::block);
  return true;
}

}  // namespace

text_reader::~text_reader() {
  close_reader(*this);
}

bool open_reader(text_reader& reader, const std::string& path) {
  close_reader(reader);
  if (holds_zero_byte(path)) return false;
#ifdef _WIN32
  int fd = ::_open(path.c_str(), _O_RDONLY | KIT_O_BINARY);
#else
  // Non-blocking only for the open itself, so that a FIFO without a writer
  // reads as empty instead of hanging the build.
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
#endif
  if (fd < 0) return false;
  struct stat st;
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    return false;
  }
#ifndef _WIN32
  int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
#endif
  reader.fd = fd;
  return true;
}

void open_memory_reader(text_reader& reader, std::string_view bytes) {
  close_reader(reader);
  reader.block.assign(bytes.begin(), bytes.end());
  reader.end = bytes.size();
}

void close_reader(text_reader& reader) {
  if (reader.fd >= 0) ::close(reader.fd);
  reader.fd = -1;
  reader.pos = reader.end = 0;
  reader.eof = reader.error = false;
}

bool read_line(text_reader& reader, std::size_t limit, std::string_view* line) {
  // Built apart from reader.line so that a read that yields nothing leaves
  // the previous line, and any view of it, intact.
  std::string piece;
  piece.reserve(std::min<std::size_t>(limit, 256));
  const std::size_t most = limit > 1 ? limit - 1 : 0;
  bool complete = false;  // reached a line feed
  while (piece.size() < most && !complete) {
    if (!refill(reader)) {
      if (reader.error) return false;
      reader.eof = true;
      break;
    }
    const char* start = reader.block.data() + reader.pos;
    std::size_t n = std::min(most - piece.size(), reader.end - reader.pos);
    const char* nl = static_cast<const char*>(std::memchr(start, '\n', n));
    if (nl) n = static_cast<std::size_t>(nl - start) + 1;
    const char* cr = static_cast<const char*>(std::memchr(start, '\r', n));
    const char* z = static_cast<const char*>(std::memchr(start, kCtrlZ, n));
    const char* stop = first_of(cr, z);
    if (!stop) {
      piece.append(start, n);
      reader.pos += n;
      complete = nl != nullptr;
      continue;
    }
    std::size_t before = static_cast<std::size_t>(stop - start);
    piece.append(start, before);
    reader.pos += before + 1;
    if (*stop == kCtrlZ) {
      reader.eof = true;
      break;
    }
    // A carriage return is dropped and the byte after it taken as it is,
    // without testing it for a carriage return again.
    if (!refill(reader)) {
      if (reader.error) return false;
      reader.eof = true;
      break;
    }
    char next = reader.block[reader.pos++];
    if (next == kCtrlZ) {
      reader.eof = true;
      break;
    }
    piece.push_back(next);
    complete = next == '\n';
  }
  if (piece.empty() && reader.eof && most > 0) return false;
  reader.line.swap(piece);
  *line = reader.line;
  return true;
}

text_writer::~text_writer() {
  close_writer(*this);
}

bool open_writer(text_writer& writer, const std::string& path) {
  close_writer(writer);
  writer.error = false;
  if (holds_zero_byte(path)) return false;
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | KIT_O_BINARY, 0666);
  if (fd < 0) return false;
  writer.fd = fd;
  writer.owns_fd = true;
  writer.policy = flush_policy::block;
  return true;
}

bool create_writer_exclusive(text_writer& writer, const std::string& path, int mode) {
  close_writer(writer);
  writer.error = false;
  if (holds_zero_byte(path)) return false;
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | KIT_O_BINARY, mode);
  if (fd < 0) return false;
  writer.fd = fd;
  writer.owns_fd = true;
  writer.policy = flush_policy::block;
  return true;
}

void open_memory_writer(text_writer& writer, std::string* memory) {
  close_writer(writer);
  writer.error = false;
  writer.memory = memory;
  writer.policy = flush_policy::block;
}

void write_text(text_writer& writer, std::string_view text) {
  bool had_line_feed = false;
  while (!text.empty()) {
    const void* hit = std::memchr(text.data(), '\n', text.size());
    if (!hit) {
      writer.pending.append(text.data(), text.size());
      break;
    }
    std::size_t before = static_cast<std::size_t>(static_cast<const char*>(hit) - text.data());
    writer.pending.append(text.data(), before);
    writer.pending.append("\r\n", 2);
    text.remove_prefix(before + 1);
    had_line_feed = true;
  }
  if (writer.policy == flush_policy::each_write ||
      (writer.policy == flush_policy::line && had_line_feed) ||
      writer.pending.size() >= kWriteBlock) {
    flush_writer(writer);
  }
}

bool flush_writer(text_writer& writer) {
  if (!writer.pending.empty()) {
    if (writer.memory) {
      writer.memory->append(writer.pending);
    } else if (writer.fd < 0 ||
               !write_all(writer.fd, writer.pending.data(), writer.pending.size())) {
      writer.error = true;
    }
    writer.pending.clear();
  }
  return !writer.error;
}

bool close_writer(text_writer& writer) {
  if (writer.fd < 0 && !writer.memory) return !writer.error;
  flush_writer(writer);
  if (writer.owns_fd && ::close(writer.fd) != 0) writer.error = true;
  writer.fd = -1;
  writer.owns_fd = false;
  writer.memory = nullptr;
  return !writer.error;
}

// The standard streams live until the end of the run; their destructors,
// run after main returns or on exit(), write out what is pending.
text_writer& std_out() {
  static text_writer out;
  static const bool ready = init_standard(out, 1, false);
  (void)ready;
  return out;
}

text_writer& std_err() {
  static text_writer err;
  static const bool ready = init_standard(err, 2, true);
  (void)ready;
  return err;
}
