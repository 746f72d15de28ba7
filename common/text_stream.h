// DOS-style text streams.
//
// Reading drops carriage returns (the byte after one is taken as it is) and
// treats 0x1A as an end of file that a later read steps over.  Writing turns
// every line feed into CR LF.  Both work on raw bytes underneath, so the
// result is the same on every platform.  A zero byte is ordinary data.
#ifndef KIT_COMMON_TEXT_STREAM_H_
#define KIT_COMMON_TEXT_STREAM_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class text_reader;

// Opens an existing file for reading.  A folder, or anything that cannot be
// opened, gives false and prints nothing.
bool open_reader(text_reader& reader, const std::string& path);

void close_reader(text_reader& reader);

// Reads one line, or a piece of at most limit-1 bytes of a longer one; the
// line feed, when reached, stays in the line.  Returns false, leaving *line
// as it was, when end of file comes before any byte or a read error happens.
// *line stays valid until the next read on this reader.
bool read_line(text_reader& reader, std::size_t limit, std::string_view* line);

// Whether a read failed, or the file turned out shorter than it was when
// it was opened.  What was read before is then incomplete.
bool reader_failed(const text_reader& reader);

// For the fast paths that apply the read translation themselves: the raw
// bytes from where the reading stands, at least `least` (at most 256) of
// them unless the file ends first, in which case *to_end is set and the
// view runs to the end (empty at the end, and after a failure).  The view
// is valid until the next read on this reader; skip_raw takes bytes of it
// as read.
std::string_view raw_bytes(text_reader& reader, std::size_t least, bool* to_end);
void skip_raw(text_reader& reader, std::size_t count);

class text_reader {
 public:
  text_reader() = default;
  text_reader(const text_reader&) = delete;
  text_reader& operator=(const text_reader&) = delete;
  ~text_reader() { close_reader(*this); }

 private:
  friend bool open_reader(text_reader&, const std::string&);
  friend void open_memory_reader(text_reader&, std::string_view);
  friend void close_reader(text_reader&);
  friend bool read_line(text_reader&, std::size_t, std::string_view*);
  friend bool at_eof(const text_reader&);
  friend bool open_reader_in_blocks(text_reader&, const std::string&, std::size_t);
  friend bool reader_failed(const text_reader&);
  friend std::string_view raw_bytes(text_reader&, std::size_t, bool*);
  friend void skip_raw(text_reader&, std::size_t);
  static bool refill(text_reader& reader);

  int fd_ = -1;
  // block_[pos_, end_) are read ahead and not taken yet.
  std::vector<char> block_;
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
  std::size_t block_size_ = 0;      // the most the block holds
  std::uint64_t size_at_open_ = 0;  // of a regular file
  bool drained_ = true;             // nothing more will come from the file
  bool eof_ = false;
  bool failed_ = false;
  std::string line_;   // the line handed out by the last successful read_line
  std::string spare_;  // where read_line builds the next one
};

enum class flush_policy { block, line, each_write };

enum class create_mode { truncate, exclusive };

class text_writer;

// Creates a file for writing: truncating one that exists, or failing when
// anything exists under the name.  After a failure errno says why (EEXIST:
// something is there).
bool open_writer(text_writer& writer, const std::string& path,
                 create_mode mode = create_mode::truncate);

// Writes text, each line feed as CR LF.  Failures show in writer_failed.
void write_text(text_writer& writer, std::string_view text);

// Writes bytes as they are: text already in its written form.
void write_raw(text_writer& writer, std::string_view bytes);

// Whether a write, or the close, has failed so far.
bool writer_failed(const text_writer& writer);

// Writes pending output.  Returns false if any write so far has failed.
bool flush_writer(text_writer& writer);

// Flushes and closes.  Returns false if any write or the close failed.
bool close_writer(text_writer& writer);

// Standard output (line-buffered on a terminal, block-buffered otherwise)
// and standard error (written out at every write).
text_writer& std_out();
text_writer& std_err();

class text_writer {
 public:
  text_writer() = default;
  text_writer(const text_writer&) = delete;
  text_writer& operator=(const text_writer&) = delete;
  // Writes out what is pending and closes an owned file, so every stream is
  // complete whichever way the program ends.
  ~text_writer() { close_writer(*this); }

 private:
  friend bool open_writer(text_writer&, const std::string&, create_mode);
  friend void adopt_writer(text_writer&, int);
  friend int release_writer(text_writer&);
  friend void open_memory_writer(text_writer&, std::string*);
  friend void write_text(text_writer&, std::string_view);
  friend void write_raw(text_writer&, std::string_view);
  friend bool writer_failed(const text_writer&);
  friend bool flush_writer(text_writer&);
  friend bool close_writer(text_writer&);
  static bool init_standard(text_writer& writer, int fd, bool unbuffered);
  static void put_out(text_writer& writer, const char* data, std::size_t size);
  static void write_due(text_writer& writer, bool had_line_feed);
  friend text_writer& std_out();
  friend text_writer& std_err();

  int fd_ = -1;
  std::string* memory_ = nullptr;  // when set, bytes go here instead of fd_
  bool owns_fd_ = false;
  flush_policy policy_ = flush_policy::block;
  std::string pending_;
  bool failed_ = false;
};

#endif  // KIT_COMMON_TEXT_STREAM_H_
