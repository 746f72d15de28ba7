// DOS-style text streams.
//
// Reading drops carriage returns (the byte after one is taken as it is) and
// treats 0x1A as an end of file that a later read steps over.  Writing turns
// every line feed into CR LF.  Both work on raw bytes underneath, so the
// result is the same on every platform.  A zero byte is ordinary data.
#ifndef KIT_COMMON_TEXT_STREAM_H_
#define KIT_COMMON_TEXT_STREAM_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

struct text_reader {
  int fd = -1;
  std::vector<char> block;  // raw bytes read from fd, block[pos, end) unread
  std::size_t pos = 0;
  std::size_t end = 0;
  std::string line;  // the line handed out by the last successful read
  bool eof = false;
  bool error = false;

  text_reader() = default;
  text_reader(const text_reader&) = delete;
  text_reader& operator=(const text_reader&) = delete;
  ~text_reader();
};

// Opens an existing file for reading.  A folder, or anything that cannot be
// opened, gives false and prints nothing.
bool open_reader(text_reader& reader, const std::string& path);

// Reads from bytes held in memory instead of a file (tests, fuzzing).
void open_memory_reader(text_reader& reader, std::string_view bytes);

void close_reader(text_reader& reader);

// Reads one line, or a piece of at most limit-1 bytes of a longer one; the
// line feed, when reached, stays in the line.  Returns false, leaving *line
// as it was, when end of file comes before any byte or a read error happens.
// *line stays valid until the next read on this reader.
bool read_line(text_reader& reader, std::size_t limit, std::string_view* line);

// Set only by a read that found no byte, or that met 0x1A.
inline bool at_eof(const text_reader& reader) {
  return reader.eof;
}

enum class flush_policy { block, line, each_write };

struct text_writer {
  int fd = -1;
  std::string* memory = nullptr;  // when set, bytes go here instead of fd
  bool owns_fd = false;
  flush_policy policy = flush_policy::block;
  std::string pending;
  bool error = false;

  text_writer() = default;
  text_writer(const text_writer&) = delete;
  text_writer& operator=(const text_writer&) = delete;
  // Writes out what is pending and closes an owned file, so every stream is
  // complete whichever way the program ends.
  ~text_writer();
};

// Creates or truncates a file for writing.
bool open_writer(text_writer& writer, const std::string& path);

// Creates a new file for writing; fails when anything exists under the name.
bool create_writer_exclusive(text_writer& writer, const std::string& path, int mode = 0666);

void open_memory_writer(text_writer& writer, std::string* memory);

// Writes text, each line feed as CR LF.  Failures only set writer.error.
void write_text(text_writer& writer, std::string_view text);

// Writes pending output.  Returns false if any write so far has failed.
bool flush_writer(text_writer& writer);

// Flushes and closes.  Returns false if any write or the close failed.
bool close_writer(text_writer& writer);

// Standard output (line-buffered on a terminal, block-buffered otherwise)
// and standard error (written out at every write).
text_writer& std_out();
text_writer& std_err();

#endif  // KIT_COMMON_TEXT_STREAM_H_
