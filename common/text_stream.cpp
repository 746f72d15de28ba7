#include "common/text_stream.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

#include "common/stream_io.h"

namespace {

// Every write to a file but the last is a whole block of this size.
const std::size_t kWriteBlock = 64 * 1024;
const char kCtrlZ = 0x1A;

// Bytes of text before its first line feed, carriage return or 0x1A.
std::size_t plain_length(const char* text, std::size_t size) {
  for (char c : {'\n', '\r', kCtrlZ}) {
    if (const void* hit = std::memchr(text, c, size))
      size = static_cast<std::size_t>(static_cast<const char*>(hit) - text);
  }
  return size;
}

}  // namespace

// Reads more bytes after end_ into the block, to whose start the bytes not
// taken yet move first.  False when none come: at the end of the file, or
// on a failure.
bool text_reader::refill(text_reader& reader) {
  if (reader.drained_) return false;
  if (reader.block_.empty()) {
    // A small file gets a block of its size, so that a deep nest of
    // included files costs little memory.
    std::uint64_t size = reader.size_at_open_ + kKeptBytes;
    if (!reader.size_at_open_ || size > reader.block_size_) size = reader.block_size_;
    reader.block_.resize(static_cast<std::size_t>(size));
  }
  const std::size_t kept = reader.end_ - reader.pos_;
  char* block = reader.block_.data();
  if (kept > 0) std::memmove(block, block + reader.pos_, kept);
  reader.pos_ = 0;
  reader.end_ = kept;
  const long n = read_input(reader.fd_, block + kept, reader.block_.size() - kept);
  if (n > 0) {
    reader.end_ += static_cast<std::size_t>(n);
    return true;
  }
  reader.drained_ = true;
  // A file cut while it was read has not given all it had.
  reader.failed_ = n < 0 || input_shrank(reader.fd_, reader.size_at_open_);
  return false;
}

bool open_reader(text_reader& reader, const std::string& path) {
  return open_reader_in_blocks(reader, path, kReadBlock);
}

bool open_reader_in_blocks(text_reader& reader, const std::string& path, std::size_t block_size) {
  close_reader(reader);
  input_file file;
  if (!open_input(path, &file)) return false;
  reader.fd_ = file.fd;
  reader.drained_ = false;
  reader.block_size_ = std::max(block_size, kKeptBytes);
  if (file.regular) reader.size_at_open_ = file.size;
  return true;
}

void open_memory_reader(text_reader& reader, std::string_view bytes) {
  close_reader(reader);
  reader.block_.assign(bytes.begin(), bytes.end());
  reader.end_ = bytes.size();
}

void close_reader(text_reader& reader) {
  if (reader.fd_ >= 0) close_file(reader.fd_);
  reader.fd_ = -1;
  reader.pos_ = reader.end_ = 0;
  reader.block_ = std::vector<char>();
  reader.size_at_open_ = 0;
  reader.drained_ = true;
  reader.eof_ = reader.failed_ = false;
}

bool read_line(text_reader& reader, std::size_t limit, std::string_view* line) {
  const std::size_t most = limit > 1 ? limit - 1 : 0;
  std::string& piece = reader.spare_;
  piece.clear();
  bool ended = false;  // by the end of the file or a 0x1A
  while (!ended && piece.size() < most) {
    if (reader.pos_ == reader.end_ && !text_reader::refill(reader)) {
      ended = true;
      break;
    }
    const char* from = reader.block_.data() + reader.pos_;
    const std::size_t room = std::min(most - piece.size(), reader.end_ - reader.pos_);
    const std::size_t plain = plain_length(from, room);
    piece.append(from, plain);
    reader.pos_ += plain;
    if (plain == room) continue;
    char c = reader.block_.data()[reader.pos_++];
    if (c == '\r') {
      // The byte after a carriage return is taken as it is, without testing
      // it for a carriage return again.
      if (reader.pos_ == reader.end_ && !text_reader::refill(reader)) {
        ended = true;
        break;
      }
      c = reader.block_.data()[reader.pos_++];
    }
    ended = c == kCtrlZ;
    if (!ended) piece += c;
    if (c == '\n') break;
  }
  reader.eof_ = reader.eof_ || (ended && !reader.failed_);
  if (reader.failed_ || (ended && piece.empty())) return false;
  // Built apart from the line handed out before, and swapped in only now,
  // so that a read that yields nothing leaves that line, and any view of
  // it, intact; both strings keep their room, so no line allocates.
  reader.line_.swap(piece);
  *line = reader.line_;
  return true;
}

bool at_eof(const text_reader& reader) {
  return reader.eof_;
}

bool reader_failed(const text_reader& reader) {
  return reader.failed_;
}

std::string_view raw_bytes(text_reader& reader, std::size_t least, bool* to_end) {
  *to_end = false;
  while (reader.end_ - reader.pos_ < least && !reader.failed_ && !*to_end)
    *to_end = !text_reader::refill(reader);
  *to_end = *to_end || reader.failed_;
  if (reader.failed_) return {};
  return std::string_view(reader.block_.data() + reader.pos_, reader.end_ - reader.pos_);
}

void skip_raw(text_reader& reader, std::size_t count) {
  reader.pos_ += count;
}

bool open_writer(text_writer& writer, const std::string& path, create_mode mode) {
  close_writer(writer);
  const int fd = open_output(path, mode == create_mode::exclusive);
  if (fd < 0) return false;
  adopt_writer(writer, fd);
  return true;
}

void adopt_writer(text_writer& writer, int fd) {
  close_writer(writer);
  writer.fd_ = fd;
  writer.owns_fd_ = true;
  writer.policy_ = flush_policy::block;
  writer.failed_ = false;
}

int release_writer(text_writer& writer) {
  const bool written = flush_writer(writer);
  const int fd = std::exchange(writer.fd_, -1);
  writer.owns_fd_ = false;
  if (!written && fd >= 0) close_file(fd);
  return written ? fd : -1;
}

void open_memory_writer(text_writer& writer, std::string* memory) {
  close_writer(writer);
  writer.memory_ = memory;
  writer.policy_ = flush_policy::block;
  writer.failed_ = false;
}

void text_writer::put_out(text_writer& writer, const char* data, std::size_t size) {
  if (writer.memory_) {
    try {
      writer.memory_->append(data, size);
    } catch (const std::bad_alloc&) {
      writer.failed_ = true;
    }
  } else if (writer.fd_ < 0 || !write_output(writer.fd_, data, size)) {
    writer.failed_ = true;
  }
}

// Writes out what the policy makes due: everything, or else the whole
// blocks, so that every write to a file but the last is a full block.
void text_writer::write_due(text_writer& writer, bool had_line_feed) {
  if (writer.policy_ == flush_policy::each_write ||
      (writer.policy_ == flush_policy::line && had_line_feed)) {
    flush_writer(writer);
    return;
  }
  std::size_t at = 0;
  for (; writer.pending_.size() - at >= kWriteBlock; at += kWriteBlock)
    put_out(writer, writer.pending_.data() + at, kWriteBlock);
  writer.pending_.erase(0, at);
}

void write_text(text_writer& writer, std::string_view text) {
  bool had_line_feed = false;
  while (!text.empty()) {
    const void* hit = std::memchr(text.data(), '\n', text.size());
    if (!hit) {
      writer.pending_.append(text.data(), text.size());
      break;
    }
    std::size_t before = static_cast<std::size_t>(static_cast<const char*>(hit) - text.data());
    writer.pending_.append(text.data(), before);
    writer.pending_.append("\r\n", 2);
    text.remove_prefix(before + 1);
    had_line_feed = true;
  }
  text_writer::write_due(writer, had_line_feed);
}

void write_raw(text_writer& writer, std::string_view bytes) {
  if (writer.pending_.size() + bytes.size() >= kWriteBlock) {
    // The block begun is filled first; then whole blocks go out straight
    // from the piece, without a copy.
    const std::size_t fill = writer.pending_.empty() ? 0 : kWriteBlock - writer.pending_.size();
    writer.pending_.append(bytes.data(), fill);
    bytes.remove_prefix(fill);
    text_writer::write_due(writer, false);
    const std::size_t whole = bytes.size() - bytes.size() % kWriteBlock;
    for (std::size_t at = 0; at < whole; at += kWriteBlock)
      text_writer::put_out(writer, bytes.data() + at, kWriteBlock);
    bytes.remove_prefix(whole);
  }
  writer.pending_.append(bytes.data(), bytes.size());
  text_writer::write_due(writer, false);
}

bool writer_failed(const text_writer& writer) {
  return writer.failed_;
}

bool flush_writer(text_writer& writer) {
  if (!writer.pending_.empty())
    text_writer::put_out(writer, writer.pending_.data(), writer.pending_.size());
  writer.pending_.clear();
  return !writer.failed_;
}

bool close_writer(text_writer& writer) {
  if (writer.fd_ < 0 && !writer.memory_) return !writer.failed_;
  flush_writer(writer);
  if (writer.owns_fd_ && !close_file(writer.fd_)) writer.failed_ = true;
  writer.fd_ = -1;
  writer.owns_fd_ = false;
  writer.memory_ = nullptr;
  return !writer.failed_;
}

bool text_writer::init_standard(text_writer& writer, int fd, bool unbuffered) {
  const bool terminal = prepare_standard(fd);
  writer.fd_ = fd;
  writer.policy_ =
      unbuffered ? flush_policy::each_write : (terminal ? flush_policy::line : flush_policy::block);
  return true;
}

// The standard streams live until the end of the run; their destructors,
// run after main returns or on exit(), write out what is pending.
text_writer& std_out() {
  static text_writer out;
  static const bool ready = text_writer::init_standard(out, 1, false);
  (void)ready;
  return out;
}

text_writer& std_err() {
  static text_writer err;
  static const bool ready = text_writer::init_standard(err, 2, true);
  (void)ready;
  return err;
}
