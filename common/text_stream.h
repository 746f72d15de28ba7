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

const std::size_t kScanWindow = 64;

// The vector instructions the scans of text use, each level taking in the
// ones before it: by default the widest the processor has.  Every level
// finds the same bytes; a reader's isa may be set to any usable level.
enum class scan_isa { portable, sse2, avx2, avx512 };

// The widest level built in that this processor and system can run.
scan_isa best_scan_isa();

inline bool scan_isa_usable(scan_isa isa) {
  return isa <= best_scan_isa();
}

const std::size_t kNoScan = static_cast<std::size_t>(-1) / 2;

struct text_reader {
  int fd = -1;
  // Raw bytes read from fd; block[pos, end) are not read yet.  The bytes
  // before pos may hold the translated text of the last piece handed out,
  // which the translation writes over the raw bytes it came from.
  std::vector<char> block;
  std::size_t pos = 0;
  std::size_t end = 0;
  // Where the 64-byte window of scan_bits starts (kNoScan: none), and which
  // of its bytes are line feeds, carriage returns or 0x1A.
  std::size_t scan_at = kNoScan;
  std::uint64_t scan_bits = 0;
  scan_isa isa = best_scan_isa();
  std::string line;   // the line handed out by the last successful read_line
  std::string spare;  // where read_line builds the next one
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

// Reads like read_line, but hands out a view of the reader's own block
// where it can, without copying the line: for a loop that looks at each
// line once and is done with it.  The view is valid only until the next
// read on this reader, a read that yields no line included.
bool read_line_view(text_reader& reader, std::size_t limit, std::string_view* line);

// The fast path for a loop that takes every line as it comes: hands out,
// as one view of the reader's block, a run of whole lines from where the
// reading stands that the line reads with this limit would deliver one by
// one exactly as they are, but for each CR LF pair in the run standing for
// a line feed.  So the run holds no 0x1A and no other carriage return, every
// line of it ends in a line feed and is shorter than the limit.  False, and
// nothing read, when the next line is not such a line: read it with
// read_line_view.  Never reads the file, so never sets the end-of-file
// indicator; the view is valid until the next read on this reader.
bool read_plain_lines(text_reader& reader, std::size_t limit, std::string_view* run);

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
