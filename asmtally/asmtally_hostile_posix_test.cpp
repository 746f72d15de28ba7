// asmtally on odd and hostile input: binary bytes, huge lines, a FIFO as the
// file, names that need quoting in a shell, a file that cannot be read.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/e2e_support.h"

namespace {

using namespace std::string_literals;

std::string report(long total, long comment, long blank) {
  return "Total lines:   " + std::to_string(total) +
         "\r\nComment lines: " + std::to_string(comment) +
         "\r\nBlank lines:   " + std::to_string(blank) + "\r\n";
}

TEST(AsmtallyHostile, CountsWhatItCanReadAndNamesWhatItCannot) {
  scratch_dir dir;
  // Zero bytes and bytes above 0x7F are ordinary text; the count ends at
  // the first 0x1A.
  write_file(dir / "bin.asm", "\0\0\n\xff;\n\t;\0\n \n\x1a;\n;\n"s);
  const std::string megabyte(1 << 20, 'x');
  write_file(dir / "huge.c", "/*" + megabyte + "\r\n*/\r\n\r\n");
  write_file(dir /
                 "my \"odd\" \xc3\xb1"
                 "ame.ASM",
             "; c\r\n");
  fifo_feeder feeder(dir / "fifo.asm", "; c\n\n");
  // The megabyte line comes in pieces of 254 bytes, each a comment line.
  const long pieces = (2 + (1 << 20) + 1 + 253) / 254;
  const struct {
    std::string name;
    int status;
    std::string out;
  } cases[] = {
      {"fifo.asm", 0, report(2, 1, 1)},  // first, while its writer has yet to come
      {"bin.asm", 0, report(4, 1, 1)},
      {"huge.c", 0, report(pieces + 2, pieces + 1, 1)},
      {"my \"odd\" \xc3\xb1"
       "ame.ASM",
       0, report(1, 1, 0)},
      {"bin.asm\n", 1, "Unable to open input file\r\n"},
  };
  for (const auto& c : cases) {
    run_options options;
    options.cwd = dir.path;
    run_result result = run_program(kit_program("asmtally"), {c.name}, options);
    EXPECT_EQ(result.status, c.status) << c.name;
    EXPECT_EQ(result.out, c.out) << c.name;
    EXPECT_EQ(result.err, "") << c.name;
  }

  // A read that fails is no end of the file.
  run_options faulty;
  faulty.wrapper = with_fault("read", "read:error=EIO:when=1", dir / "bin.asm");
  if (faulty.wrapper.empty())
    GTEST_SKIP() << "strace is missing (apt-get install strace) or cannot trace here";
  const run_result failed = run_program(kit_program("asmtally"), {dir / "bin.asm"}, faulty);
  EXPECT_EQ(failed.status, 1);
  EXPECT_EQ(failed.out, "Unable to read input file\r\n");
}

}  // namespace
