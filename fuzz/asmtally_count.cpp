// Counts the lines of the input with count_lines at every level of scans the
// processor has (windows of 64 bytes counted at once, and byte at a time)
// and compares the counts with the rules applied one line at a time (the
// oracle of the tests); aborts on any difference.
//
//   byte 0: bit 0 assembly rules, else block-comment rules; bit 1 reads a
//           file, in small blocks of which the end of the first falls
//           inside the data (placed by byte 1, which also chooses the
//           block's size), else memory; bit 2 makes the file's filler one
//           long line that the data continues, so that pieces are cut
//           there.
#include <cstddef>
#include <cstdint>
#include <string>

#include "asmtally/asmtally.h"
#include "fuzz/fuzz_support.h"
#include "tests/support/scan_levels.h"
#include "tests/support/tally_oracle.h"

namespace {

// Filler before the data puts the end of the reader's first block at a
// chosen place in the data.
std::string with_filler(std::string_view data, std::uint8_t where, bool one_line) {
  const std::size_t boundary = kit_fuzz_block_size(where);
  const std::size_t filler = boundary - std::min(boundary, where / 4 * data.size() / 63);
  std::string bytes;
  if (one_line) {
    bytes.assign(filler, 'L');
  } else {
    const std::string blank = std::string(250, ' ') + "\r\n";
    while (bytes.size() + blank.size() <= filler) bytes += blank;
    bytes.append(filler - bytes.size(), '\n');
  }
  bytes += data;
  return bytes;
}

void open_source(text_reader& reader, const std::string& bytes, bool file, std::uint8_t where) {
  if (!file) {
    open_memory_reader(reader, bytes);
    return;
  }
  static const std::string path = kit_fuzz_scratch() + "/source";
  static std::string written;
  if (written != bytes && !kit_fuzz_write_file(path, bytes)) kit_fuzz_fail("cannot write the file");
  written = bytes;
  if (!open_reader_in_blocks(reader, path, kit_fuzz_block_size(where)))
    kit_fuzz_fail("cannot read the file");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const bool assembly = data[0] & 1;
  const bool file = data[0] & 2;
  const std::string_view text(reinterpret_cast<const char*>(data) + 2, size - 2);
  const std::string bytes = file ? with_filler(text, data[1], data[0] & 4) : std::string(text);

  const line_tally want = count_line_by_line(bytes, assembly);
  // Files too: each level leaves different bytes to the byte-at-a-time
  // rules where a block ends.
  for (scan_level level : runnable_levels()) {
    text_reader fast;
    open_source(fast, bytes, file, data[1]);
    line_tally got;
    if (!count_lines(fast, assembly, &got, level)) kit_fuzz_fail("a read failed");
    if (got.total != want.total) kit_fuzz_fail("the total differs from line-by-line counting");
    if (got.comment != want.comment) kit_fuzz_fail("the comment lines differ");
    if (got.blank != want.blank) kit_fuzz_fail("the blank lines differ");
  }
  return 0;
}
