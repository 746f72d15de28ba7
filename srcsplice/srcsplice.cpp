#include "srcsplice/srcsplice.h"

#include <algorithm>

#include "common/ascii.h"
#include "common/dos_names.h"
#include "common/vector_scan.h"

namespace {

const std::string_view kBeginMarker = ";BEGIN EXPAND INCLUDE";
const std::string_view kEndMarker = ";END EXPAND INCLUDE";
const std::string_view kIncludeWord = "include";
// Bytes of a piece that may decide whether it is a marker or include line.
const std::size_t kLongestMark = kBeginMarker.size();

// Position of the first byte of text that is not white space, or npos.
std::size_t skip_white_space(std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (!is_white_space(text[i])) return i;
  }
  return std::string_view::npos;
}

// Whether line starts with prefix, ASCII letters compared regardless of case.
bool begins_with_text(std::string_view line, std::string_view prefix) {
  return same_folded(line.substr(0, prefix.size()), prefix);
}

// Takes the name out of an include line: after "include" and any white
// space, one byte stands for the opening quote, and the name runs up to the
// next double quote on the line.
splice_failure take_include_name(std::string_view line, std::string* name) {
  std::string_view rest = line.substr(std::min(line.size(), kIncludeWord.size()));
  std::size_t quote = skip_white_space(rest);
  if (quote == std::string_view::npos) return splice_failure::bad_include_line;
  rest.remove_prefix(quote + 1);
  std::size_t closing = rest.find('"');
  if (closing == std::string_view::npos) return splice_failure::bad_include_line;
  if (closing > kMaxIncludeName) return splice_failure::name_too_long;
  name->assign(rest.data(), closing);
  return splice_failure::none;
}

// A write that failed shows only in the error flag, so it is looked at after
// every write: output that silently stops short would break the build later.
splice_failure write_out(text_writer& output, std::string_view text) {
  write_text(output, text);
  return writer_failed(output) ? splice_failure::write_failed : splice_failure::none;
}

splice_failure write_frame(text_writer& output, std::string_view edge, const std::string& name) {
  std::string frame = ";---- ";
  frame.append(edge).append(" INCLUDED FILE ").append(name).append(" ----\n");
  return write_out(output, frame);
}

splice_failure expand_include(std::string_view line, text_writer& output,
                              const include_opener& open_include, int depth, scan_level level) {
  std::string name;
  splice_failure failure = take_include_name(line, &name);
  if (failure != splice_failure::none) return failure;
  if (depth + 1 > kMaxIncludeDepth) return splice_failure::nested_too_deeply;
  text_reader included;
  failure = open_include(name, included);
  if (failure != splice_failure::none) return failure;

  // The line view belongs to the including reader, which is not read again
  // until this include is done, so it stays valid throughout.
  std::string commented = ";";
  commented.append(line);
  failure = write_frame(output, "BEGIN", name);
  if (failure == splice_failure::none) failure = write_out(output, commented);
  if (failure == splice_failure::none)
    failure = expand_stream(included, output, open_include, depth + 1, level);
  if (failure == splice_failure::none) failure = write_frame(output, "END", name);
  close_reader(included);
  return failure;
}

// Whether the line path must take a piece that starts at text, with the
// bytes after it at hand: a marker or include line that changes the copy.
bool is_mark(const char* text, bool expanding) {
  const std::string_view start(text, kLongestMark);
  return expanding ? begins_with_text(start, kEndMarker) || begins_with_text(start, kIncludeWord)
                   : begins_with_text(start, kBeginMarker);
}

#ifdef KIT_SCAN_SSE2
int lowest_bit(std::uint64_t bits) {
  return __builtin_ctzll(bits);
}

int highest_bit(std::uint64_t bits) {
  return 63 - __builtin_clzll(bits);
}

// How many bytes from the start of raw, a piece start, are whole pieces that
// the line path would copy as they are but for the write translation: lines
// that all end in CR LF, or with lf_ends all in a lone line feed, and hold
// no other carriage return and no 0x1A, none of them a marker or include
// line that counts here.  Ends at the start of the first piece that is not
// such a piece, or of the piece still open where the windows end.
template <class Bytes>
KIT_ALWAYS_INLINE std::size_t plain_span(std::string_view raw, bool expanding, bool lf_ends) {
  std::uint32_t piece_length = 0;
  std::size_t span = 0;
  bool cr_before = false;
  for (std::size_t at = 0; raw.size() - at > kScanWindow + kLongestMark; at += kScanWindow) {
    const Bytes bytes(raw.data() + at);
    const window_kinds kinds = classify_window(bytes);
    const std::uint64_t letter_i = expanding ? bytes.equal('i') | bytes.equal('I') : 0;
    const std::uint64_t other_ends = lf_ends ? kinds.cr : kinds.lf & ~((kinds.cr << 1) | cr_before);
    std::uint64_t odd = byte_path_bytes(kinds, raw[at + kScanWindow] == '\n') | other_ends;
    const std::uint64_t starts = piece_starts(kinds, &piece_length);
    for (std::uint64_t marks = starts & (kinds.semicolon | letter_i); marks != 0;
         marks &= marks - 1) {
      if (is_mark(raw.data() + at + lowest_bit(marks), expanding)) odd |= marks & (~marks + 1);
    }
    if (odd != 0) {
      const std::uint64_t before = starts & (odd ^ (odd - 1));
      return before ? at + highest_bit(before) : span;
    }
    if (piece_length == 0) {
      span = at + kScanWindow;
    } else if (starts != 0) {
      span = at + highest_bit(starts);
    }
    cr_before = kinds.cr >> 63;
  }
  return span;
}

struct plain_span_kernel {
  template <class Bytes>
  static KIT_ALWAYS_INLINE std::size_t run(std::string_view raw, bool expanding, bool lf_ends) {
    return plain_span<Bytes>(raw, expanding, lf_ends);
  }
};
#endif

// The span of whole lines from the start of raw that plain_span gives at
// the level.
std::size_t plain_span_at(scan_level level, std::string_view raw, bool expanding, bool lf_ends) {
#ifdef KIT_SCAN_SSE2
  return scan_at_level<plain_span_kernel>(level, raw, expanding, lf_ends);
#else
  return 0;
#endif
}

// Copies, straight from the input's block, the lines from where it stands
// that the line path would copy unchanged, up to one that it must take.
// The line end of the first line decides which kind of lines are taken.
void copy_plain_lines(text_reader& input, text_writer& output, bool expanding, scan_level level) {
  for (;;) {
    bool to_end = false;
    const std::string_view raw = raw_bytes(input, kScanWindow + kLongestMark + 1, &to_end);
    const std::size_t first_lf = raw.find('\n');
    const bool lf_ends =
        first_lf != std::string_view::npos && (first_lf == 0 || raw[first_lf - 1] != '\r');
    const std::size_t span = plain_span_at(level, raw, expanding, lf_ends);
    if (span == 0) return;
    if (lf_ends) {
      write_text(output, raw.substr(0, span));
    } else {
      write_raw(output, raw.substr(0, span));
    }
    skip_raw(input, span);
  }
}

// Opens the source, or an include (which may not name a device either: one
// never ends, as /dev/zero, or waits for a user, as a terminal).  Reading
// the destination while it grows would never end well, so it is refused
// before it is opened.
splice_failure open_input(const std::string& path, const file_id* destination, bool include,
                          text_reader& reader) {
  file_id id;
  if (destination && identify_file(path, &id) && same_file(id, *destination))
    return splice_failure::output_is_input;
  if (include && is_device(path)) return splice_failure::cannot_open;
  return open_reader(reader, path) ? splice_failure::none : splice_failure::cannot_open;
}

// Opens an include from the working directory; a name missing as written
// is looked for as DOS would find it, in the folders as first listed.  The
// path opened goes to *opened.
splice_failure open_include_file(const std::string& name, const file_id* destination,
                                 folder_listings& listings, text_reader& reader,
                                 std::string* opened) {
  splice_failure failure = open_input(name, destination, true, reader);
  // Sources written for DOS name their includes as DOS found them.
  std::string dos_path;
  if (failure == splice_failure::cannot_open && find_dos_name(name, listings, &dos_path) &&
      dos_path != name)
    failure = open_input(dos_path, destination, true, reader);
  if (failure == splice_failure::none) *opened = dos_path.empty() ? name : dos_path;
  return failure;
}

// Where the new text goes; one that is no plain file takes it as it comes.
struct destination {
  file_replacement replacement;
  text_writer writer;
  bool direct = false;
};

// A refusal, or a file that could not be read whole, leaves the old
// destination: nothing read from a file that was cut may reach it.  After
// any other failure the destination keeps what came before the failing
// line.  Output still buffered then came before it too, so a write failure
// found now happened first and is the one told.
splice_outcome end_destination(destination& dst, splice_failure failure) {
  replace_result written = replace_result::replaced;
  if (dst.direct) {
    if (!close_writer(dst.writer)) written = replace_result::unchanged;
  } else if (failure == splice_failure::output_is_input || failure == splice_failure::cannot_read) {
    abandon_replacement(dst.replacement, dst.writer);
  } else {
    written = finish_replacement(dst.replacement, dst.writer);
  }
  if (written != replace_result::replaced) failure = splice_failure::write_failed;
  return {failure, written == replace_result::damaged};
}

}  // namespace

const char* failure_message(splice_failure failure) {
  switch (failure) {
    case splice_failure::none:
      break;
    case splice_failure::cannot_open:
      return "Could not open input file";
    case splice_failure::cannot_read:
      return "Could not read input file";
    case splice_failure::bad_include_line:
      return "Bad include line";
    case splice_failure::name_too_long:
      return "Include file name too long";
    case splice_failure::nested_too_deeply:
      return "Include files nested too deeply";
    case splice_failure::output_is_input:
      return "Output file is also an input file";
    case splice_failure::write_failed:
      return "Could not write output file";
    case splice_failure::depfile_not_written:
      return "Could not write dependency file";
    case splice_failure::depfile_name:
      return "Name cannot be written to dependency file";
    case splice_failure::depfile_clash:
      return "Dependency file is also an input or output file";
  }
  return "";
}

splice_outcome splice_file(const std::string& src_file, const std::string& dst_file,
                           const read_recorder& record) {
  // The new destination is written to a fresh file that replaces the old
  // one only at the end, so every check whether a file is the destination
  // compares with the destination as it was, and a refusal leaves it whole.
  file_id old_id;
  const file_id* old = identify_file(dst_file, &old_id) ? &old_id : nullptr;
  text_reader source;
  const splice_failure opened = open_input(src_file, old, false, source);
  if (opened != splice_failure::none) return {opened, false};
  destination dst;
  const replace_start start = start_replacement(dst_file, dst.replacement, dst.writer);
  dst.direct = start == replace_start::not_a_file;
  if (start != replace_start::started &&
      !(dst.direct && open_writer(dst.writer, dst.replacement.target)))
    return {splice_failure::cannot_open, false};
  if (record) record(src_file);
  folder_listings listings;
  const include_opener open_include = [&](const std::string& name, text_reader& reader) {
    std::string path;
    const splice_failure failure = open_include_file(name, old, listings, reader, &path);
    if (failure == splice_failure::none && record) record(path);
    return failure;
  };
  const splice_failure failure = expand_stream(source, dst.writer, open_include);
  close_reader(source);
  return end_destination(dst, failure);
}

splice_failure expand_stream(text_reader& input, text_writer& output,
                             const include_opener& open_include, int depth, scan_level level) {
  bool expanding = false;
  std::string_view line;
  for (;;) {
    copy_plain_lines(input, output, expanding, level);
    if (!read_line(input, kSourceLineLimit, &line)) break;
    splice_failure failure = splice_failure::none;
    if (!expanding) {
      failure = write_out(output, line);
      expanding = begins_with_text(line, kBeginMarker);
    } else if (!begins_with_text(line, kIncludeWord)) {
      failure = write_out(output, line);
      expanding = !begins_with_text(line, kEndMarker);
    } else {
      failure = expand_include(line, output, open_include, depth, level);
    }
    if (failure != splice_failure::none) return failure;
  }
  if (writer_failed(output)) return splice_failure::write_failed;
  return reader_failed(input) ? splice_failure::cannot_read : splice_failure::none;
}
