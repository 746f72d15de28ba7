#include "asmtally/asmtally.h"

#include <algorithm>
#include <cstring>

#include "common/vector_scan.h"

namespace {

// The line feed is left out on purpose: every scan stops at it before it
// could pass as white space.
bool is_space_not_lf(char c) {
  return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r';
}

char fold_ascii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool is_assembly_comment(std::string_view line) {
  std::size_t at = 0;
  while (at < line.size() && is_space_not_lf(line[at])) ++at;
  return at < line.size() && line[at] == ';';
}

// Scans inside a block comment from position at.  A piece that ends
// without a line feed is treated like one that reaches it: the block stays
// open and the piece is a comment line.
bool scan_in_block(std::string_view line, std::size_t at, bool* in_block) {
  for (; at < line.size() && line[at] != '\n'; ++at) {
    if (line[at] == '*' && at + 1 < line.size() && line[at + 1] == '/') {
      *in_block = false;
      return true;
    }
  }
  return true;
}

bool is_block_comment(std::string_view line, bool* in_block) {
  if (*in_block) return scan_in_block(line, 0, in_block);
  for (std::size_t at = 0; at < line.size(); ++at) {
    char c = line[at];
    if (c == '/' && at + 1 < line.size() && line[at + 1] == '*') {
      *in_block = true;
      // From the star, so that "/*/" opens and at once closes.
      return scan_in_block(line, at + 1, in_block);
    }
    if (!is_space_not_lf(c)) return false;
  }
  return false;
}

// Which of 64 bytes of text are of each kind the rules look at: bit i
// stands for byte i.  Line counts then come from whole words of bits, not
// from one branch after another on each byte.
struct byte_kinds {
  std::uint64_t lf = 0;
  std::uint64_t space_or_cr = 0;
  std::uint64_t white = 0;  // white space but the line feed
  std::uint64_t semicolon = 0;
  std::uint64_t slash = 0;
  std::uint64_t star = 0;
};

inline byte_kinds sort_bytes_portable(const char* text, bool assembly_mode) {
  byte_kinds kinds;
  for (int at = 0; at < 64; ++at) {
    const std::uint64_t bit = std::uint64_t{1} << at;
    const char c = text[at];
    if (c == '\n') kinds.lf |= bit;
    if (c == ' ' || c == '\r') kinds.space_or_cr |= bit;
    if (is_space_not_lf(c)) kinds.white |= bit;
    if (assembly_mode && c == ';') kinds.semicolon |= bit;
    if (!assembly_mode && c == '/') kinds.slash |= bit;
    if (!assembly_mode && c == '*') kinds.star |= bit;
  }
  return kinds;
}

#ifdef KIT_SCAN_SSE2
inline byte_kinds sort_bytes_sse2(const char* text, bool assembly_mode) {
  byte_kinds kinds;
  for (int at = 0; at < 64; at += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + at));
    auto bits = [&](__m128i hits) {
      return static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(hits))) << at;
    };
    auto equal = [&](char c) { return _mm_cmpeq_epi8(bytes, _mm_set1_epi8(c)); };
    const __m128i lf = equal('\n');
    const __m128i space = equal(' ');
    // 0x09 to 0x0D, found as bytes less 9 that are at most 4.
    const __m128i less_nine = _mm_sub_epi8(bytes, _mm_set1_epi8(9));
    const __m128i control = _mm_cmpeq_epi8(_mm_min_epu8(less_nine, _mm_set1_epi8(4)), less_nine);
    kinds.lf |= bits(lf);
    kinds.space_or_cr |= bits(_mm_or_si128(space, equal('\r')));
    kinds.white |= bits(_mm_or_si128(_mm_andnot_si128(lf, control), space));
    if (assembly_mode) {
      kinds.semicolon |= bits(equal(';'));
    } else {
      kinds.slash |= bits(equal('/'));
      kinds.star |= bits(equal('*'));
    }
  }
  return kinds;
}
#endif

#ifdef KIT_SCAN_WIDE
// No lambdas in these: they would not share the target of the function.
__attribute__((target("avx2"))) inline std::uint64_t bits_avx2(__m256i low, __m256i high) {
  const unsigned low_bits = static_cast<unsigned>(_mm256_movemask_epi8(low));
  const unsigned high_bits = static_cast<unsigned>(_mm256_movemask_epi8(high));
  return low_bits | std::uint64_t{high_bits} << 32;
}

__attribute__((target("avx2"))) inline std::uint64_t equal_avx2(__m256i low, __m256i high, char c) {
  const __m256i wanted = _mm256_set1_epi8(c);
  return bits_avx2(_mm256_cmpeq_epi8(low, wanted), _mm256_cmpeq_epi8(high, wanted));
}

// 0x09 to 0x0D, found as bytes less 9 that are at most 4.
__attribute__((target("avx2"))) inline __m256i control_avx2(__m256i bytes) {
  const __m256i less_nine = _mm256_sub_epi8(bytes, _mm256_set1_epi8(9));
  return _mm256_cmpeq_epi8(_mm256_min_epu8(less_nine, _mm256_set1_epi8(4)), less_nine);
}

__attribute__((target("avx2"))) inline byte_kinds sort_bytes_avx2(const char* text,
                                                                  bool assembly_mode) {
  byte_kinds kinds;
  const __m256i low = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(text));
  const __m256i high = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(text + 32));
  kinds.lf = equal_avx2(low, high, '\n');
  const std::uint64_t space = equal_avx2(low, high, ' ');
  kinds.space_or_cr = space | equal_avx2(low, high, '\r');
  kinds.white = (bits_avx2(control_avx2(low), control_avx2(high)) & ~kinds.lf) | space;
  if (assembly_mode) {
    kinds.semicolon = equal_avx2(low, high, ';');
  } else {
    kinds.slash = equal_avx2(low, high, '/');
    kinds.star = equal_avx2(low, high, '*');
  }
  return kinds;
}

__attribute__((target("avx512f,avx512bw"))) inline byte_kinds sort_bytes_avx512(
    const char* text, bool assembly_mode) {
  byte_kinds kinds;
  const __m512i bytes = _mm512_loadu_si512(text);
  kinds.lf = _mm512_cmpeq_epi8_mask(bytes, _mm512_set1_epi8('\n'));
  const std::uint64_t space = _mm512_cmpeq_epi8_mask(bytes, _mm512_set1_epi8(' '));
  kinds.space_or_cr = space | _mm512_cmpeq_epi8_mask(bytes, _mm512_set1_epi8('\r'));
  const std::uint64_t control =
      _mm512_cmple_epu8_mask(_mm512_sub_epi8(bytes, _mm512_set1_epi8(9)), _mm512_set1_epi8(4));
  kinds.white = (control & ~kinds.lf) | space;
  if (assembly_mode) {
    kinds.semicolon = _mm512_cmpeq_epi8_mask(bytes, _mm512_set1_epi8(';'));
  } else {
    kinds.slash = _mm512_cmpeq_epi8_mask(bytes, _mm512_set1_epi8('/'));
    kinds.star = _mm512_cmpeq_epi8_mask(bytes, _mm512_set1_epi8('*'));
  }
  return kinds;
}
#endif

int count_bits(std::uint64_t bits) {
#if defined(__POPCNT__) && defined(__GNUC__)
  return __builtin_popcountll(bits);
#else
  // Without the instruction the builtin is a library call; this is faster.
  bits -= (bits >> 1) & 0x5555555555555555u;
  bits = (bits & 0x3333333333333333u) + ((bits >> 2) & 0x3333333333333333u);
  bits = (bits + (bits >> 4)) & 0x0F0F0F0F0F0F0F0Fu;
  return static_cast<int>((bits * 0x0101010101010101u) >> 56);
#endif
}

// The first byte not in skip of each line, given the first byte of each
// line in starts.  A line start in skip begins a run of skip bytes; adding
// its bit carries through the run onto the byte after it.  *carry takes a
// run on from the window before into this one, and out to the next.
std::uint64_t first_not_in(std::uint64_t skip, std::uint64_t starts, bool* carry) {
  const std::uint64_t partial = skip + (starts & skip);
  const std::uint64_t sum = partial + (*carry ? 1 : 0);
  *carry = partial < skip || sum < partial;
  return (starts & ~skip) | (sum & ~skip);
}

// Block-comment rules on one window.  Every line of a plain run has exactly
// one first byte that is not white space (its line feed, if nothing else),
// so lines are counted by those bits: each stretch of the window is either
// inside a block comment (all its lines are comment lines) or outside one,
// where only a line whose first text is "/*" opens a block.
void count_block_window(const byte_kinds& kinds, std::uint64_t first_text, std::uint64_t blank_ends,
                        bool star_follows, bool slash_follows, bool* in_block, line_tally* tally) {
  const std::uint64_t opens =
      first_text & kinds.slash & ((kinds.star >> 1) | (std::uint64_t{star_follows} << 63));
  const std::uint64_t closes =
      kinds.star & ((kinds.slash >> 1) | (std::uint64_t{slash_follows} << 63));
  std::uint64_t ahead = ~std::uint64_t{0};  // the bits not yet looked at
  while (ahead != 0) {
    if (*in_block) {
      const std::uint64_t close = closes & ahead;
      if (close == 0) {
        tally->comment += count_bits(first_text & ahead);
        return;
      }
      // Lines up to the one holding the "*/"; the rest of it is not looked at,
      // and its first text lies before the "*/".
      const std::uint64_t through = (close & -close) | ((close & -close) - 1);
      tally->comment += count_bits(first_text & ahead & through);
      ahead &= ~through;
      *in_block = false;
    } else {
      const std::uint64_t open = opens & ahead;
      if (open == 0) {
        tally->blank += count_bits(blank_ends & ahead);
        return;
      }
      const std::uint64_t before = (open & -open) - 1;
      tally->blank += count_bits(blank_ends & ahead & before);
      ++tally->comment;
      // The search for "*/" starts at the star of "/*".
      ahead &= ~(before | (open & -open));
      *in_block = true;
    }
  }
}

template <byte_kinds (*sort_bytes)(const char*, bool)>
KIT_ALWAYS_INLINE void count_plain_with(std::string_view run, bool assembly_mode, bool* in_block,
                                        line_tally* tally) {
  bool new_line = true;  // a run starts with a line
  bool text_carry = false;
  bool space_carry = false;
  for (std::size_t at = 0; at < run.size(); at += 64) {
    const std::size_t size = std::min<std::size_t>(64, run.size() - at);
    char tail[64] = {};  // zero bytes are of no kind the rules look at
    const char* window = run.data() + at;
    if (size < 64) window = static_cast<const char*>(std::memcpy(tail, window, size));
    const byte_kinds kinds = sort_bytes(window, assembly_mode);
    const std::uint64_t inside = size == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << size) - 1;
    const std::uint64_t starts = ((kinds.lf << 1) | (new_line ? 1 : 0)) & inside;
    new_line = (kinds.lf >> 63) != 0;
    const std::uint64_t first_text = first_not_in(kinds.white, starts, &text_carry);
    // In a plain run a carriage return stands just before a line feed, so
    // passing over it as over a blank finds the line feed of a blank line.
    const std::uint64_t blank_ends =
        first_not_in(kinds.space_or_cr, starts, &space_carry) & kinds.lf;
    tally->total += count_bits(kinds.lf);
    if (assembly_mode) {
      tally->comment += count_bits(first_text & kinds.semicolon);
      tally->blank += count_bits(blank_ends);
    } else {
      const bool more = at + 64 < run.size();
      count_block_window(kinds, first_text, blank_ends, more && run[at + 64] == '*',
                         more && run[at + 64] == '/', in_block, tally);
    }
  }
}

void count_plain_portable(std::string_view run, bool assembly_mode, bool* in_block,
                          line_tally* tally) {
  count_plain_with<sort_bytes_portable>(run, assembly_mode, in_block, tally);
}

#ifdef KIT_SCAN_SSE2
void count_plain_sse2(std::string_view run, bool assembly_mode, bool* in_block, line_tally* tally) {
  count_plain_with<sort_bytes_sse2>(run, assembly_mode, in_block, tally);
}
#endif

#ifdef KIT_SCAN_WIDE
__attribute__((target("avx2"))) void count_plain_avx2(std::string_view run, bool assembly_mode,
                                                      bool* in_block, line_tally* tally) {
  count_plain_with<sort_bytes_avx2>(run, assembly_mode, in_block, tally);
}

__attribute__((target("avx512f,avx512bw"))) void count_plain_avx512(std::string_view run,
                                                                    bool assembly_mode,
                                                                    bool* in_block,
                                                                    line_tally* tally) {
  count_plain_with<sort_bytes_avx512>(run, assembly_mode, in_block, tally);
}
#endif

}  // namespace

void count_plain_lines(std::string_view run, bool assembly_mode, bool* in_block, line_tally* tally,
                       scan_isa isa) {
  switch (isa) {
#ifdef KIT_SCAN_WIDE
    case scan_isa::avx512:
      return count_plain_avx512(run, assembly_mode, in_block, tally);
    case scan_isa::avx2:
      return count_plain_avx2(run, assembly_mode, in_block, tally);
#endif
#ifdef KIT_SCAN_SSE2
    case scan_isa::sse2:
      return count_plain_sse2(run, assembly_mode, in_block, tally);
#endif
    default:
      return count_plain_portable(run, assembly_mode, in_block, tally);
  }
}

bool is_assembly_name(std::string_view name) {
  const std::string_view suffix = ".asm";
  if (name.size() < suffix.size()) return false;
  std::string_view tail = name.substr(name.size() - suffix.size());
  for (std::size_t i = 0; i < suffix.size(); ++i) {
    if (fold_ascii(tail[i]) != suffix[i]) return false;
  }
  return true;
}

bool is_comment_line(std::string_view line, bool assembly_mode, bool* in_block) {
  return assembly_mode ? is_assembly_comment(line) : is_block_comment(line, in_block);
}

bool is_blank_line(std::string_view line) {
  std::size_t at = 0;
  while (at < line.size() && line[at] == ' ') ++at;
  return at < line.size() && line[at] == '\n';
}

bool count_lines(text_reader& reader, bool assembly_mode, line_tally* tally) {
  bool in_block = false;
  std::string_view text;
  // Stopping on the indicator, not on "no line", ends the count at a 0x1A
  // even when text follows it.
  while (!at_eof(reader)) {
    if (read_plain_lines(reader, kTallyLineLimit, &text)) {
      count_plain_lines(text, assembly_mode, &in_block, tally, reader.isa);
      continue;
    }
    if (!read_line_view(reader, kTallyLineLimit, &text)) break;
    if (is_comment_line(text, assembly_mode, &in_block)) {
      ++tally->comment;
    } else if (is_blank_line(text)) {
      ++tally->blank;
    }
    ++tally->total;
  }
  return !reader.error;
}

std::string format_report(const line_tally& tally) {
  return "Total lines:   " + std::to_string(tally.total) + "\n" +
         "Comment lines: " + std::to_string(tally.comment) + "\n" +
         "Blank lines:   " + std::to_string(tally.blank) + "\n";
}
