// The one classification of text that the fast paths of the line counter
// and the include expander build on: which of 64 bytes are line feeds,
// carriage returns, 0x1A, white space and semicolons, as one bit per byte,
// and the one way to run a scan at the level chosen.  It is written once
// and compiled for three levels of vector instructions: SSE2, which every
// x86-64 processor and the Windows build have, and AVX2 and AVX-512BW,
// chosen at run time where the processor has them.
#ifndef KIT_COMMON_VECTOR_SCAN_H_
#define KIT_COMMON_VECTOR_SCAN_H_

#include <cstddef>
#include <cstdint>
#include <utility>

#include "common/ascii.h"
#include "common/scan_level.h"

const std::size_t kScanWindow = 64;

#define KIT_ALWAYS_INLINE inline __attribute__((always_inline))

#if defined(__SSE2__) && defined(__x86_64__)
#define KIT_SCAN_SSE2 1
#include <immintrin.h>
// Not on Windows, where GCC does not align the stack for spills of 32- and
// 64-byte vectors.
#ifndef _WIN32
#define KIT_SCAN_WIDE 1
#define KIT_AVX2_TARGET __attribute__((target("avx2,popcnt,bmi,bmi2,lzcnt")))
#define KIT_AVX512_TARGET __attribute__((target("avx512f,avx512bw,popcnt,bmi,bmi2,lzcnt")))
#endif
#endif

// Which of 64 bytes are of each kind both fast paths look at: bit i stands
// for byte i.  A program asks its Bytes for any other kind it needs.
struct window_kinds {
  std::uint64_t lf, cr, ctrl_z, space, white, semicolon;
};

// A level is a type that loads 64 bytes and answers which of them equal a
// byte or lie in a range.
#ifdef KIT_SCAN_SSE2
struct sse2_bytes {
  __m128i part[4];

  explicit sse2_bytes(const char* text) {
    for (int i = 0; i < 4; ++i)
      part[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text) + i);
  }
  template <class Test>
  std::uint64_t bits(Test test) const {
    std::uint64_t bits = 0;
    for (int i = 0; i < 4; ++i)
      bits |= std::uint64_t{static_cast<unsigned>(_mm_movemask_epi8(test(part[i])))} << (16 * i);
    return bits;
  }
  std::uint64_t equal(char c) const {
    return bits([c](__m128i v) { return _mm_cmpeq_epi8(v, _mm_set1_epi8(c)); });
  }
  std::uint64_t within(char low, char high) const {
    return bits([low, high](__m128i v) {
      const __m128i above = _mm_sub_epi8(v, _mm_set1_epi8(low));
      return _mm_cmpeq_epi8(_mm_min_epu8(above, _mm_set1_epi8(static_cast<char>(high - low))),
                            above);
    });
  }
  // Without the instruction the builtin is a library call; this is faster.
  static int count(std::uint64_t bits) {
    bits -= (bits >> 1) & 0x5555555555555555u;
    bits = (bits & 0x3333333333333333u) + ((bits >> 2) & 0x3333333333333333u);
    bits = (bits + (bits >> 4)) & 0x0F0F0F0F0F0F0F0Fu;
    return static_cast<int>((bits * 0x0101010101010101u) >> 56);
  }
};
#endif

#ifdef KIT_SCAN_WIDE
// Plain inline, not always_inline: these are inlined once the kernel that
// calls them has been inlined into a function of the same target.
struct avx2_bytes {
  __m256i low, high;

  KIT_AVX2_TARGET explicit avx2_bytes(const char* text)
      : low(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(text))),
        high(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(text) + 1)) {}
  KIT_AVX2_TARGET static std::uint64_t bits(__m256i low, __m256i high) {
    return static_cast<std::uint32_t>(_mm256_movemask_epi8(low)) |
           std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(high))} << 32;
  }
  KIT_AVX2_TARGET std::uint64_t equal(char c) const {
    const __m256i all_c = _mm256_set1_epi8(c);
    return bits(_mm256_cmpeq_epi8(low, all_c), _mm256_cmpeq_epi8(high, all_c));
  }
  KIT_AVX2_TARGET std::uint64_t within(char low_byte, char high_byte) const {
    const __m256i from = _mm256_set1_epi8(low_byte);
    const __m256i span = _mm256_set1_epi8(static_cast<char>(high_byte - low_byte));
    const __m256i a = _mm256_sub_epi8(low, from), b = _mm256_sub_epi8(high, from);
    return bits(_mm256_cmpeq_epi8(_mm256_min_epu8(a, span), a),
                _mm256_cmpeq_epi8(_mm256_min_epu8(b, span), b));
  }
  KIT_AVX2_TARGET static int count(std::uint64_t bits) { return __builtin_popcountll(bits); }
};

struct avx512_bytes {
  __m512i all;

  KIT_AVX512_TARGET explicit avx512_bytes(const char* text) : all(_mm512_loadu_si512(text)) {}
  KIT_AVX512_TARGET std::uint64_t equal(char c) const {
    return _mm512_cmpeq_epi8_mask(all, _mm512_set1_epi8(c));
  }
  KIT_AVX512_TARGET std::uint64_t within(char low, char high) const {
    return _mm512_cmple_epu8_mask(_mm512_sub_epi8(all, _mm512_set1_epi8(low)),
                                  _mm512_set1_epi8(static_cast<char>(high - low)));
  }
  KIT_AVX512_TARGET static int count(std::uint64_t bits) { return __builtin_popcountll(bits); }
};
#endif

template <class Bytes>
KIT_ALWAYS_INLINE window_kinds classify_window(const Bytes& bytes) {
  window_kinds kinds;
  kinds.lf = bytes.equal('\n');
  kinds.cr = bytes.equal('\r');
  kinds.ctrl_z = bytes.equal(0x1A);
  kinds.space = bytes.equal(' ');
  // White space, but not the line feed, which ends a line before it could
  // pass as white space.
  kinds.white = (bytes.within(kWhiteSpaceFirst, kWhiteSpaceLast) & ~kinds.lf) | kinds.space;
  kinds.semicolon = bytes.equal(';');
  return kinds;
}

// The bytes of a window that a fast path leaves to the byte-at-a-time
// rules: carriage returns that the read translation does not simply drop
// before a line feed, and 0x1A.  lf_after: the byte after the window is a
// line feed.
inline std::uint64_t byte_path_bytes(const window_kinds& kinds, bool lf_after) {
  return (kinds.cr & ~((kinds.lf >> 1) | (std::uint64_t{lf_after} << 63))) | kinds.ctrl_z;
}

// Pieces of a line are at most this long, as the line reads cut them.
const std::uint32_t kPieceBytes = kSourceLineLimit - 1;

// Where pieces start in a window that the fast paths take: after each line feed,
// and where a piece reaches kPieceBytes without a line end.  *length holds
// the bytes of the piece that runs on from the window before, 0 when the
// window starts a piece.  In such a window a carriage return stands before
// a line feed and is dropped; it counts in *length only at the window's
// end, where the line feed that opens the next window ends the piece
// before it could be cut.
inline std::uint64_t piece_starts(const window_kinds& kinds, std::uint32_t* length) {
  std::uint64_t starts = (kinds.lf << 1) | std::uint64_t{*length == 0};
  // With as few branches as can be: which way they would go depends on
  // the text.  The shift is only used when it is in range.
  const std::uint32_t cut = kPieceBytes - *length;
  const bool cuts = cut < kScanWindow && ((kinds.lf | kinds.cr) << ((kScanWindow - cut) & 63)) == 0;
  starts |= std::uint64_t{cuts} << (cut & 63);
  const std::uint32_t tail = starts ? __builtin_clzll(starts) + 1 : *length + kScanWindow;
  const bool next_starts = (kinds.lf >> 63) || (tail == kPieceBytes && !(kinds.cr >> 63));
  *length = next_starts ? 0 : tail;
  return starts;
}

// Runs Kernel at the level: Kernel::run<Bytes>(args...), written once, is
// compiled into a function of each level's own instructions.  At the bytes
// level nothing runs, and the result is 0.
#ifdef KIT_SCAN_WIDE
template <class Kernel, class... Args>
KIT_AVX2_TARGET std::size_t run_avx2(Args&&... args) {
  return Kernel::template run<avx2_bytes>(std::forward<Args>(args)...);
}

template <class Kernel, class... Args>
KIT_AVX512_TARGET std::size_t run_avx512(Args&&... args) {
  return Kernel::template run<avx512_bytes>(std::forward<Args>(args)...);
}
#endif

template <class Kernel, class... Args>
std::size_t scan_at_level(scan_level level, Args&&... args) {
  switch (level) {
#ifdef KIT_SCAN_WIDE
    case scan_level::avx512:
      return run_avx512<Kernel>(std::forward<Args>(args)...);
    case scan_level::avx2:
      return run_avx2<Kernel>(std::forward<Args>(args)...);
#endif
#ifdef KIT_SCAN_SSE2
    case scan_level::sse2:
      return Kernel::template run<sse2_bytes>(std::forward<Args>(args)...);
#endif
    default:
      return 0;
  }
}

#endif  // KIT_COMMON_VECTOR_SCAN_H_
