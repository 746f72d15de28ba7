#include "srcsplice/srcsplice.h"

#include <algorithm>

namespace {

const std::string_view kBeginMarker = ";BEGIN EXPAND INCLUDE";
const std::string_view kEndMarker = ";END EXPAND INCLUDE";
const std::string_view kIncludeWord = "include";

char fold_case(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// A write that failed shows only in the error flag, so it is looked at after
// every write: output that silently stops short would break the build later.
splice_failure write_out(text_writer& output, std::string_view text) {
  write_text(output, text);
  return output.error ? splice_failure::write_failed : splice_failure::none;
}

splice_failure write_frame(text_writer& output, std::string_view edge, const std::string& name) {
  std::string frame = ";---- ";
  frame.append(edge).append(" INCLUDED FILE ").append(name).append(" ----\n");
  return write_out(output, frame);
}

splice_failure expand_include(std::string_view line, text_writer& output,
                              const include_opener& open_include, int depth) {
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
    failure = expand_stream(included, output, open_include, depth + 1);
  if (failure == splice_failure::none) failure = write_frame(output, "END", name);
  close_reader(included);
  return failure;
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
  }
  return "";
}

std::size_t skip_white_space(std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c != ' ' && (c < 0x09 || c > 0x0D)) return i;
  }
  return std::string_view::npos;
}

bool begins_with_text(std::string_view line, std::string_view prefix) {
  if (line.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (fold_case(line[i]) != fold_case(prefix[i])) return false;
  }
  return true;
}

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

splice_failure open_include_file(const std::string& name, const file_id* destination,
                                 text_reader& reader) {
  // Reading the destination while it grows would never end well, so it is
  // refused before it is opened.
  file_id id;
  if (destination && identify_file(name, &id) && same_file(id, *destination))
    return splice_failure::output_is_input;
  return open_reader(reader, name) ? splice_failure::none : splice_failure::cannot_open;
}

splice_failure expand_stream(text_reader& input, text_writer& output,
                             const include_opener& open_include, int depth) {
  bool expanding = false;
  std::string_view line;
  while (read_line_view(input, kSpliceLineLimit, &line)) {
    splice_failure failure = splice_failure::none;
    if (!expanding) {
      failure = write_out(output, line);
      expanding = begins_with_text(line, kBeginMarker);
    } else if (!begins_with_text(line, kIncludeWord)) {
      failure = write_out(output, line);
      expanding = !begins_with_text(line, kEndMarker);
    } else {
      failure = expand_include(line, output, open_include, depth);
    }
    if (failure != splice_failure::none) return failure;
  }
  return input.error ? splice_failure::cannot_read : splice_failure::none;
}
