// Expands a source whose included files are held in memory, at every level
// of scans the processor has, and aborts when the outputs or the failures
// differ: runs of lines copied whole must come out as the line-at-a-time
// copy does.  The input is a list of files separated by 0x01 bytes; the
// first is the source, and an include name that is a number n names the
// n-th file (0 is the source itself, so a file may include itself).  Any
// other name cannot be opened.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "srcsplice/srcsplice.h"
#include "tests/support/scan_levels.h"

namespace {

// Enough to nest to the limit a few times over; the count of opens bounds
// the work of inputs whose files include one another many times.
const int kMaxOpens = 400;

std::string with_crlf(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

// The output and failure of the expansion at one level; *opens counts the
// files opened.
splice_failure expand(const std::vector<std::string>& files, scan_level level, int* opens,
                      std::string* output) {
  *opens = 0;
  include_opener open_include = [&](const std::string& name, text_reader& reader) {
    if (++*opens > kMaxOpens || name.empty() || name.size() > 2 ||
        name.find_first_not_of("0123456789") != std::string::npos)
      return splice_failure::cannot_open;
    std::size_t index = std::stoul(name);
    if (index >= files.size()) return splice_failure::cannot_open;
    open_memory_reader(reader, files[index]);
    return splice_failure::none;
  };
  text_reader source;
  open_memory_reader(source, files[0]);
  text_writer writer;
  open_memory_writer(writer, output);
  const splice_failure failure = expand_stream(source, writer, open_include, 0, level);
  if (!close_writer(writer)) kit_fuzz_fail("a memory write failed");
  return failure;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::string> files =
      kit_fuzz_split(std::string_view(reinterpret_cast<const char*>(data), size), '\x01');
  int opens = 0;
  std::string output;
  const splice_failure failure = expand(files, scan_level::bytes, &opens, &output);
  if (failure == splice_failure::write_failed || failure == splice_failure::output_is_input ||
      failure == splice_failure::cannot_read)
    kit_fuzz_fail("a failure that memory files cannot cause");
  for (scan_level level : runnable_levels()) {
    if (level == scan_level::bytes) continue;
    int fast_opens = 0;
    std::string fast_output;
    if (expand(files, level, &fast_opens, &fast_output) != failure || fast_output != output)
      kit_fuzz_fail("runs of lines copied whole differ from the line-at-a-time copy");
  }

  if (opens == 0) {
    // Nothing was included: the source is copied line by line, unchanged.
    std::string copy;
    for (const std::string& line : kit_fuzz_entries(files[0], kSourceLineLimit, SIZE_MAX))
      copy += line;
    if (failure == splice_failure::none && output != with_crlf(copy))
      kit_fuzz_fail("a source without expanded includes was not copied unchanged");
  }
  if (output.size() < files[0].size() && failure == splice_failure::none &&
      files[0].find('\x1a') == std::string::npos && files[0].find('\r') == std::string::npos)
    kit_fuzz_fail("output shorter than the source");  // every byte of it is copied
  return 0;
}
