#include "common/text_stream.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "common/vector_scan.h"

#ifdef _WIN32
#include <io.h>
#define KIT_O_BINARY _O_BINARY
#else
#include <unistd.h>
#define KIT_O_BINARY 0
#endif

namespace {

// Large enough that a line piece of the usual limits is always whole in a
// block, small enough that 64 nested include files stay well under 8 MiB.
const std::size_t kReadBlock = 32 * 1024;
const std::size_t kWriteBlock = 64 * 1024;
// Room after the last byte of a block for the scans, which look at 64
// bytes at a time and at the byte after them.
const std::size_t kScanSlack = kScanWindow + 16;
const char kCtrlZ = 0x1A;

bool holds_zero_byte(const std::string& name) {
  return name.find('\0') != std::string::npos;
}

std::size_t block_capacity(const text_reader& reader) {
  return reader.block.empty() ? 0 : reader.block.size() - kScanSlack;
}

// Bit i stands for text[i], over the 64 bytes from text on: set when it is
// a line feed, carriage return or 0x1A.
std::uint64_t special_bits(const char* text) {
  std::uint64_t bits = 0;
#ifdef KIT_SCAN_SSE2
  for (int at = 0; at < 64; at += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + at));
    const __m128i hits = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\n')),
                                                   _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\r'))),
                                      _mm_cmpeq_epi8(bytes, _mm_set1_epi8(kCtrlZ)));
    bits |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(hits))) << at;
  }
#else
  for (int at = 0; at < 64; ++at) {
    const char c = text[at];
    if (c == '\n' || c == '\r' || c == kCtrlZ) bits |= std::uint64_t{1} << at;
  }
#endif
  return bits;
}

// For the 64 bytes from text on: the line feeds, and the bytes that a run
// of plain lines cannot hold: a 0x1A, or a carriage return that the next
// byte (read even past the window) does not follow with a line feed.
struct plain_bits {
  std::uint64_t lf = 0;
  std::uint64_t odd = 0;
};

inline plain_bits make_plain_bits(const char* text, std::uint64_t lf, std::uint64_t cr,
                                  std::uint64_t ctrl_z) {
  const std::uint64_t lf_next = (lf >> 1) | (std::uint64_t{text[64] == '\n'} << 63);
  return {lf, (cr & ~lf_next) | ctrl_z};
}

inline plain_bits scan_plain_portable(const char* text) {
  std::uint64_t lf = 0, cr = 0, ctrl_z = 0;
  for (int at = 0; at < 64; ++at) {
    const std::uint64_t bit = std::uint64_t{1} << at;
    if (text[at] == '\n') lf |= bit;
    if (text[at] == '\r') cr |= bit;
    if (text[at] == kCtrlZ) ctrl_z |= bit;
  }
  return make_plain_bits(text, lf, cr, ctrl_z);
}

#ifdef KIT_SCAN_SSE2
inline plain_bits scan_plain_sse2(const char* text) {
  std::uint64_t lf = 0, cr = 0, ctrl_z = 0;
  for (int at = 0; at < 64; at += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + at));
    const auto bits = [&](char c) {
      const int hits = _mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(c)));
      return static_cast<std::uint64_t>(static_cast<unsigned>(hits)) << at;
    };
    lf |= bits('\n');
    cr |= bits('\r');
    ctrl_z |= bits(kCtrlZ);
  }
  return make_plain_bits(text, lf, cr, ctrl_z);
}
#endif

#ifdef KIT_SCAN_WIDE
// No lambdas here: they would not share the target of the function.
__attribute__((target("avx2"))) inline std::uint64_t equal_bits_avx2(__m256i low, __m256i high,
                                                                     char c) {
  const __m256i wanted = _mm256_set1_epi8(c);
  const unsigned low_bits =
      static_cast<unsigned>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(low, wanted)));
  const unsigned high_bits =
      static_cast<unsigned>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(high, wanted)));
  return low_bits | std::uint64_t{high_bits} << 32;
}

__attribute__((target("avx2"))) inline plain_bits scan_plain_avx2(const char* text) {
  const __m256i low = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(text));
  const __m256i high = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(text + 32));
  return make_plain_bits(text, equal_bits_avx2(low, high, '\n'), equal_bits_avx2(low, high, '\r'),
                         equal_bits_avx2(low, high, kCtrlZ));
}

__attribute__((target("avx512f,avx512bw"))) inline plain_bits scan_plain_avx512(const char* text) {
  const __m512i bytes = _mm512_loadu_si512(text);
  return make_plain_bits(text, _mm512_cmpeq_epi8_mask(bytes, _mm512_set1_epi8('\n')),
                         _mm512_cmpeq_epi8_mask(bytes, _mm512_set1_epi8('\r')),
                         _mm512_cmpeq_epi8_mask(bytes, _mm512_set1_epi8(kCtrlZ)));
}
#endif

int highest_bit(std::uint64_t bits) {
#if defined(__GNUC__)
  return 63 - __builtin_clzll(bits);
#else
  int at = 63;
  while (!(bits >> at)) --at;
  return at;
#endif
}

int lowest_bit(std::uint64_t bits) {
#if defined(__GNUC__)
  return __builtin_ctzll(bits);
#else
  int at = 0;
  while (!(bits & 1)) bits >>= 1, ++at;
  return at;
#endif
}

// Where the run of plain lines from base[pos] on ends, looking no further
// than base[end]: a carriage return counts only when a line feed follows
// it; any other one, and any 0x1A, ends the run before its line, and so
// does a window without a line feed after another one without.
template <plain_bits (*scan)(const char*)>
KIT_ALWAYS_INLINE std::size_t plain_run_end_with(const char* base, std::size_t pos,
                                                 std::size_t end) {
  std::size_t at = pos;
  std::size_t run_end = pos;
  bool lf_before = true;  // the window before held a line feed
  // The windows before the last, whose next byte is always read, with
  // as few branches as can be: which way they go depends on the text.
  while (end - at > kScanWindow) {
    const plain_bits bits = scan(base + at);
    const bool lf = bits.lf != 0;
    if ((bits.odd != 0) | (!lf & !lf_before)) return run_end;
    const std::size_t last_lf = at + highest_bit(bits.lf | 1) + 1;
    run_end = lf ? last_lf : run_end;
    lf_before = lf;
    at += kScanWindow;
  }
  if (at == end) return run_end;
  const std::size_t size = end - at;
  const std::uint64_t inside = size == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << size) - 1;
  const plain_bits bits = scan(base + at);
  const std::uint64_t lf = bits.lf & inside;
  // The byte after the last one read may be stale, so a carriage return
  // there ends the run before its line as well.
  if ((bits.odd & inside) != 0 || base[end - 1] == '\r') return run_end;
  if (lf == 0 && !lf_before) return run_end;
  return lf != 0 ? at + highest_bit(lf) + 1 : run_end;
}

std::size_t plain_run_end_portable(const char* base, std::size_t pos, std::size_t end) {
  return plain_run_end_with<scan_plain_portable>(base, pos, end);
}

#ifdef KIT_SCAN_SSE2
std::size_t plain_run_end_sse2(const char* base, std::size_t pos, std::size_t end) {
  return plain_run_end_with<scan_plain_sse2>(base, pos, end);
}
#endif

#ifdef KIT_SCAN_WIDE
__attribute__((target("avx2"))) std::size_t plain_run_end_avx2(const char* base, std::size_t pos,
                                                               std::size_t end) {
  return plain_run_end_with<scan_plain_avx2>(base, pos, end);
}

__attribute__((target("avx512f,avx512bw"))) std::size_t plain_run_end_avx512(const char* base,
                                                                             std::size_t pos,
                                                                             std::size_t end) {
  return plain_run_end_with<scan_plain_avx512>(base, pos, end);
}
#endif

std::size_t plain_run_end(scan_isa isa, const char* base, std::size_t pos, std::size_t end) {
  switch (isa) {
#ifdef KIT_SCAN_WIDE
    case scan_isa::avx512:
      return plain_run_end_avx512(base, pos, end);
    case scan_isa::avx2:
      return plain_run_end_avx2(base, pos, end);
#endif
#ifdef KIT_SCAN_SSE2
    case scan_isa::sse2:
      return plain_run_end_sse2(base, pos, end);
#endif
    default:
      return plain_run_end_portable(base, pos, end);
  }
}

// Number of bytes from block[pos] on, at most size, before the first line
// feed, carriage return or 0x1A.  The bits of a window of 64 bytes serve
// every line that starts in it, so that short lines cost no scan of their
// own; the raw bytes from pos on never change until the next refill.
std::size_t plain_run(text_reader& reader, std::size_t size) {
  const std::size_t stop = reader.pos + size;
  std::size_t at = reader.pos;
  while (at < stop) {
    if (at < reader.scan_at || at - reader.scan_at >= kScanWindow) {
      reader.scan_at = at;
      reader.scan_bits = special_bits(reader.block.data() + at);
    }
    const std::uint64_t ahead = reader.scan_bits >> (at - reader.scan_at);
    if (ahead != 0) return std::min(size, at + lowest_bit(ahead) - reader.pos);
    at = reader.scan_at + kScanWindow;
  }
  return size;
}

// Reads more of the file once block[pos, end) is used up.  The piece being
// built, block[*from, *to), moves to the front first, so that a piece never
// straddles two blocks; the block grows only for a piece that fills it.
// False at end of file or on error (the error flag tells which).
bool refill(text_reader& reader, std::size_t* from, std::size_t* to) {
  if (reader.fd < 0) return false;
  const std::size_t kept = *to - *from;
  if (kept > 0 && *from > 0) std::memmove(reader.block.data(), reader.block.data() + *from, kept);
  *from = 0;
  *to = kept;
  reader.pos = reader.end = kept;
  reader.scan_at = kNoScan;
  if (block_capacity(reader) <= kept) {
    reader.block.resize(std::max(kReadBlock, 2 * block_capacity(reader)) + kScanSlack);
  }
  for (;;) {
    ssize_t n = ::read(reader.fd, reader.block.data() + kept, block_capacity(reader) - kept);
    if (n > 0) {
      reader.end = kept + static_cast<std::size_t>(n);
      return true;
    }
    if (n == 0) return false;
    if (errno == EINTR) continue;
    reader.error = true;
    return false;
  }
}

// Takes the next line, or piece of one, of at most most bytes, translating
// it in place: the bytes it keeps are written over the raw ones from its
// first byte on, which is never ahead of the byte being read.  Gives the
// piece as block[*from, *to).  False when the read yields no line.
bool take_piece(text_reader& reader, std::size_t most, std::size_t* from, std::size_t* to) {
  *from = *to = reader.pos;
  bool done = false;
  while (!done && *to - *from < most) {
    if (reader.pos == reader.end && !refill(reader, from, to)) {
      if (reader.error) return false;
      reader.eof = true;
      break;
    }
    char* base = reader.block.data();
    const std::size_t room = std::min(most - (*to - *from), reader.end - reader.pos);
    const std::size_t plain = plain_run(reader, room);
    if (*to != reader.pos) std::memmove(base + *to, base + reader.pos, plain);
    *to += plain;
    reader.pos += plain;
    if (plain == room) continue;
    char c = base[reader.pos++];
    if (c == '\r') {
      // The byte after a carriage return is taken as it is, without testing
      // it for a carriage return again.
      if (reader.pos == reader.end && !refill(reader, from, to)) {
        if (reader.error) return false;
        reader.eof = true;
        break;
      }
      base = reader.block.data();
      c = base[reader.pos++];
    }
    if (c == kCtrlZ) {
      reader.eof = true;
      break;
    }
    base[(*to)++] = c;
    done = c == '\n';
  }
  return !(*to == *from && reader.eof && most > 0);
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

scan_isa best_scan_isa() {
#ifdef KIT_SCAN_WIDE
  // The library checks that the system saves the wide registers too.
  if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw"))
    return scan_isa::avx512;
  if (__builtin_cpu_supports("avx2")) return scan_isa::avx2;
#endif
#ifdef KIT_SCAN_SSE2
  return scan_isa::sse2;
#else
  return scan_isa::portable;
#endif
}

text_reader::~text_reader() {
  close_reader(*this);
}

bool open_reader(text_reader& reader, const std::string& path) {
  close_reader(reader);
  if (holds_zero_byte(path)) return false;
#ifdef _WIN32
  int fd = ::_open(path.c_str(), _O_RDONLY | KIT_O_BINARY);
#else
  // Opened the ordinary way: a FIFO waits for its writer, as with cat.
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
#endif
  if (fd < 0) return false;
  struct stat st;
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    return false;
  }
  reader.fd = fd;
  return true;
}

void open_memory_reader(text_reader& reader, std::string_view bytes) {
  close_reader(reader);
  reader.block.assign(bytes.begin(), bytes.end());
  reader.block.resize(bytes.size() + kScanSlack);
  reader.end = bytes.size();
}

void close_reader(text_reader& reader) {
  if (reader.fd >= 0) ::close(reader.fd);
  reader.fd = -1;
  reader.pos = reader.end = 0;
  reader.scan_at = kNoScan;
  reader.eof = reader.error = false;
}

bool read_line(text_reader& reader, std::size_t limit, std::string_view* line) {
  std::string_view piece;
  if (!read_line_view(reader, limit, &piece)) return false;
  // Built apart from reader.line, and swapped in only now, so that a read
  // that yields nothing leaves the previous line, and any view of it,
  // intact; both strings keep their room, so no line allocates.
  reader.spare.assign(piece.data(), piece.size());
  reader.line.swap(reader.spare);
  *line = reader.line;
  return true;
}

bool read_plain_lines(text_reader& reader, std::size_t limit, std::string_view* run) {
  // Of any two windows in a row of a run one holds a line feed, so no line
  // of it reaches three windows, and none needs cutting into pieces.
  if (limit <= 3 * kScanWindow) return false;
  const std::size_t run_end =
      plain_run_end(reader.isa, reader.block.data(), reader.pos, reader.end);
  if (run_end == reader.pos) return false;
  *run = std::string_view(reader.block.data() + reader.pos, run_end - reader.pos);
  reader.pos = run_end;
  return true;
}

bool read_line_view(text_reader& reader, std::size_t limit, std::string_view* line) {
  const std::size_t most = limit > 1 ? limit - 1 : 0;
  std::size_t from = 0;
  std::size_t to = 0;
  if (!take_piece(reader, most, &from, &to)) return false;
  *line = std::string_view(reader.block.data() + from, to - from);
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
