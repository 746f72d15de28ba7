#include "asmtally/asmtally.h"

#include "common/ascii.h"
#include "common/vector_scan.h"

namespace {

// What the count carries from one byte to the next, kept alike by the
// byte-at-a-time rules and by the windows of 64 bytes, so that either can
// take over from the other at any byte.
struct count_state {
  std::uint32_t piece_length = 0;  // see piece_starts
  bool lead_white = false;         // the piece so far is white space only
  bool lead_spaces = false;        // the piece so far is blanks only
  bool in_block = false;
  bool slash_last = false;  // the piece's first text is a slash, and its last byte
  bool star_last = false;   // inside a block comment, the last byte is a star
  bool stopped = false;     // by a 0x1A or the end of the file
};

void end_piece(count_state& state) {
  state.piece_length = 0;
  state.slash_last = state.star_last = false;
}

// The rules applied to one byte as the read translation delivers it.
void count_byte(char c, bool assembly_mode, count_state& state, line_tally& tally) {
  if (state.piece_length == 0) {
    ++tally.total;
    tally.comment += state.in_block;
    state.lead_white = state.lead_spaces = true;
  }
  if (c == '\n') {
    tally.blank += state.lead_spaces && !state.in_block;
    end_piece(state);
    return;
  }
  // A line feed never gets here, to pass as white space.
  const bool first_text = state.lead_white && !is_white_space(c);
  state.lead_white = state.lead_white && !first_text;
  state.lead_spaces = state.lead_spaces && c == ' ';
  if (state.in_block) {
    state.in_block = !(state.star_last && c == '/');
    state.star_last = state.in_block && c == '*';
  } else if (state.slash_last) {
    state.slash_last = false;
    state.in_block = state.star_last = c == '*';
    tally.comment += state.in_block;
  } else if (first_text) {
    tally.comment += assembly_mode && c == ';';
    state.slash_last = !assembly_mode && c == '/';
  }
  if (++state.piece_length == kPieceBytes) end_piece(state);
}

// The raw bytes [at, until) one at a time, through the read translation;
// gives where it stopped.  A carriage return takes the byte after it, which
// the caller has, unless the carriage return ends the file.
std::size_t count_bytes(std::string_view raw, std::size_t at, std::size_t until, bool assembly_mode,
                        count_state& state, line_tally& tally) {
  while (at < until && !state.stopped) {
    char c = raw[at++];
    if (c == '\r') {
      state.stopped = at == raw.size();
      if (state.stopped) break;
      c = raw[at++];
    }
    state.stopped = c == 0x1A;
    if (!state.stopped) count_byte(c, assembly_mode, state, tally);
  }
  return at;
}

#ifdef KIT_SCAN_SSE2
// The windows add their counts into three fields of one word, which holds
// the counts of kCountedBytes bytes.
const int kCommentField = 21;
const int kBlankField = 42;
const std::size_t kCountedBytes = std::size_t{1} << 14 << 6;

void add_counts(std::uint64_t* counts, line_tally* tally) {
  const std::uint64_t field = (std::uint64_t{1} << kCommentField) - 1;
  tally->total += *counts & field;
  tally->comment += *counts >> kCommentField & field;
  tally->blank += *counts >> kBlankField;
  *counts = 0;
}

// The first byte not in skip of each piece, given the first byte of each
// piece in starts.  A start in skip begins a run of skip bytes; adding its
// bit carries through the run onto the byte after it.  *carry takes a run
// on from the window before into this one, and out to the next.
KIT_ALWAYS_INLINE std::uint64_t first_not_in(std::uint64_t skip, std::uint64_t starts,
                                             bool* carry) {
  unsigned long long sum;
  *carry = _addcarry_u64(*carry, skip, starts & skip, &sum);
  return (starts | sum) & ~skip;
}

// The classes of a window the count looks at: the shared ones, and the
// slashes and stars of the block-comment rules.
struct tally_kinds {
  window_kinds kinds;
  std::uint64_t slash = 0, star = 0;
};

template <class Bytes, bool assembly_mode>
KIT_ALWAYS_INLINE tally_kinds classify_for_tally(const char* text) {
  const Bytes bytes(text);
  tally_kinds classes = {classify_window(bytes)};
  if constexpr (!assembly_mode) {
    classes.slash = bytes.equal('/');
    classes.star = bytes.equal('*');
  }
  return classes;
}

// Block-comment rules on one window.  A piece that starts inside a block is
// a comment line; outside one only a piece whose first text is "/*" is, and
// opens a block.  After any "*/" the text is outside a block, so a byte is
// inside one when an opening "/*" stands between it and the last "*/"
// before it: subtracting the opens from the closes borrows from each close
// back to the first open before it.
template <class Bytes>
KIT_ALWAYS_INLINE void count_block_window(const tally_kinds& kinds, std::uint64_t starts,
                                          std::uint64_t whole, std::uint64_t first_text,
                                          std::uint64_t blank_ends, count_state& state,
                                          std::uint64_t& counts) {
  const std::uint64_t opens = first_text & kinds.slash & (kinds.star >> 1) & whole;
  const std::uint64_t closes = kinds.star & (kinds.slash >> 1) & whole;
  // A pair of which the window holds the second byte.  Bit operations, not
  // branches: whether a window starts inside a block depends on the text.
  const bool open_before = state.slash_last & kinds.star & 1;
  const bool close_before = state.star_last & kinds.slash & 1;
  unsigned long long borrowed;
  const bool in_block =
      _subborrow_u64((state.in_block | open_before) & !close_before, closes, opens, &borrowed);
  // Where a piece starting there starts inside a block: after each
  // effective "/*" up to the star of its "*/".
  const std::uint64_t inside = borrowed ^ closes ^ opens;
  counts += std::uint64_t(open_before + Bytes::count((starts & inside) | (opens & ~inside)))
            << kCommentField;
  counts += std::uint64_t(Bytes::count(blank_ends & ~inside)) << kBlankField;
  state.in_block = in_block;
  const bool open_piece = state.piece_length != 0;
  state.star_last = open_piece & in_block & (kinds.star >> 63);
  state.slash_last = open_piece & !in_block & ((first_text & kinds.slash) >> 63);
}

// One window of 64 bytes, given whether the byte after it is a line feed;
// false, with nothing counted, when it holds bytes for the byte path.  Each
// piece is counted by its first byte, and judged by its first byte that is
// not white space.
template <class Bytes, bool assembly_mode>
KIT_ALWAYS_INLINE bool count_window(const tally_kinds& classes, bool lf_after, count_state& state,
                                    std::uint64_t& counts) {
  const window_kinds& kinds = classes.kinds;
  if (byte_path_bytes(kinds, lf_after) != 0) return false;
  const std::uint64_t starts = piece_starts(kinds, &state.piece_length);
  const std::uint64_t first_text = first_not_in(kinds.white, starts, &state.lead_white);
  // A carriage return stands only before a line feed here, so a blank line
  // may hold one.
  const std::uint64_t blank_ends =
      first_not_in(kinds.space | kinds.cr, starts, &state.lead_spaces) & kinds.lf;
  counts += Bytes::count(starts);
  if constexpr (assembly_mode) {
    counts += std::uint64_t(Bytes::count(first_text & kinds.semicolon)) << kCommentField;
    counts += std::uint64_t(Bytes::count(blank_ends)) << kBlankField;
  } else {
    // No pair of bytes counts across a cut between two pieces.
    const std::uint64_t cuts = starts & ~(kinds.lf << 1) & ~std::uint64_t{1};
    count_block_window<Bytes>(classes, starts, ~(cuts >> 1), first_text, blank_ends, state, counts);
  }
  return true;
}

// The windows from the start of raw up to the first one for the byte path,
// or to the last whole one before the end, each classified a window ahead
// of its count.  The state is kept apart from the caller's meanwhile, so
// that it stays in registers.
template <class Bytes, bool assembly_mode>
KIT_ALWAYS_INLINE std::size_t count_windows(std::string_view raw, count_state& outer,
                                            line_tally& tally) {
  if (raw.size() <= 2 * kScanWindow) return 0;
  count_state state = outer;
  std::uint64_t counts = 0;
  std::size_t at = 0;
  tally_kinds next = classify_for_tally<Bytes, assembly_mode>(raw.data());
  while (raw.size() - at > 2 * kScanWindow) {
    __builtin_prefetch(raw.data() + at + 1024);
    const tally_kinds classes = next;
    next = classify_for_tally<Bytes, assembly_mode>(raw.data() + at + kScanWindow);
    if (!count_window<Bytes, assembly_mode>(classes, next.kinds.lf & 1, state, counts)) break;
    at += kScanWindow;
    if (at % kCountedBytes == 0) add_counts(&counts, &tally);
  }
  add_counts(&counts, &tally);
  outer = state;
  return at;
}

// The windows at a level, in the rules of the mode.
struct count_kernel {
  template <class Bytes>
  static KIT_ALWAYS_INLINE std::size_t run(std::string_view raw, bool assembly_mode,
                                           count_state& state, line_tally& tally) {
    return assembly_mode ? count_windows<Bytes, true>(raw, state, tally)
                         : count_windows<Bytes, false>(raw, state, tally);
  }
};
#endif

// Whole windows of raw, as far as the level goes; gives the bytes taken.
std::size_t count_fast(scan_level level, std::string_view raw, bool assembly_mode,
                       count_state& state, line_tally& tally) {
#ifdef KIT_SCAN_SSE2
  return scan_at_level<count_kernel>(level, raw, assembly_mode, state, tally);
#else
  return 0;
#endif
}

}  // namespace

bool is_assembly_name(std::string_view name) {
  const std::string_view suffix = ".asm";
  return name.size() >= suffix.size() &&
         same_folded(name.substr(name.size() - suffix.size()), suffix);
}

bool count_lines(text_reader& reader, bool assembly_mode, line_tally* tally, scan_level level) {
  count_state state;
  for (;;) {
    bool to_end = false;
    const std::string_view raw = raw_bytes(reader, kScanWindow + 1, &to_end);
    std::size_t at = 0;
    while (!state.stopped) {
      at += count_fast(level, raw.substr(at), assembly_mode, state, *tally);
      if (raw.size() - at <= kScanWindow) break;
      // A window for the byte path.
      at = count_bytes(raw, at, at + kScanWindow, assembly_mode, state, *tally);
    }
    // What no window takes: all but the last byte, which may follow a
    // carriage return, and at the end of the file all of it.
    at = count_bytes(raw, at, to_end ? raw.size() : raw.size() - 1, assembly_mode, state, *tally);
    skip_raw(reader, at);
    if (state.stopped || to_end) return !reader_failed(reader);
  }
}

std::string format_report(const line_tally& tally) {
  return "Total lines:   " + std::to_string(tally.total) + "\n" +
         "Comment lines: " + std::to_string(tally.comment) + "\n" +
         "Blank lines:   " + std::to_string(tally.blank) + "\n";
}
