#include "asmtally/asmtally.h"

#include <gtest/gtest.h>

#include <iostream>
#include <random>
#include <vector>

#include "common/vector_scan.h"
#include "tests/e2e_support.h"
#include "tests/support/scan_levels.h"
#include "tests/support/tally_oracle.h"
#include "tests/support/test_streams.h"

// n copies of text.
std::string repeated(const std::string& text, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += text;
  return out;
}

TEST(CountLines, ClassifiesUnderBothRuleSets) {
  const std::string x300(300, 'x'), lines40 = repeated("code\r\n", 40);
  const struct {
    bool assembly;
    std::string bytes;
    std::int64_t total, comment, blank;
  } cases[] = {
      {false, "", 0, 0, 0},
      {false, "a\r\n\r\nb", 3, 0, 1},
      {false, x300 + "\nab\x1A" + "cd\n", 3, 0, 0},  // 300 bytes give two; 0x1A ends the count
      {false, "/* w\n   \nw */\ncode\n", 4, 3, 0},
      // Each wrongly opened or unclosed block would turn the next "code" into a comment.
      {false, "x /* a\ncode\n/*/\ncode\n/* a */ /* b\ncode\n/* a */ code\ncode\n", 8, 3, 0},
      {false, "// c\n   \n\t\n", 3, 0, 1},
      {false, "/*" + x300 + "\ncode\n", 3, 3, 0},  // a piece without LF stays in the block
      // "*/" split by a cut, where windows count too.
      {false, "/*" + std::string(251, 'x') + "*/\n" + lines40, 42, 42, 0},
      // A piece of 254 bytes whose carriage return ends a window: its line
      // feed is no piece of its own.
      {true, "x\n" + std::string(253, 'x') + "\r\n" + lines40, 42, 0, 0},
      {false, std::string("/*\0*/\ncode\n", 11), 2, 1, 0},
      {true, "\t; w\nmov ax, 1 ; w\n\t\nx\n; c\n   ", 6, 2, 0},
  };
  for (const auto& c : cases) {
    for (scan_level level : runnable_levels()) {
      text_reader reader;
      open_memory_reader(reader, c.bytes);
      line_tally tally;
      EXPECT_TRUE(count_lines(reader, c.assembly, &tally, level));
      const std::string where = c.bytes.substr(0, 20) + " level " + level_name(level);
      EXPECT_EQ(c.total, tally.total) << where;
      EXPECT_EQ(c.comment, tally.comment) << where;
      EXPECT_EQ(c.blank, tally.blank) << where;
    }
  }
}

// The count of the file at every level, read in blocks of block_size
// bytes, against the line-by-line count of its bytes.
void expect_counted_as_line_by_line(const std::string& path, const std::string& bytes,
                                    std::size_t block_size, const std::string& what) {
  for (bool assembly : {true, false}) {
    const line_tally expected = count_line_by_line(bytes, assembly);
    for (scan_level level : runnable_levels()) {
      text_reader reader;
      ASSERT_TRUE(open_reader_in_blocks(reader, path, block_size));
      line_tally got;
      ASSERT_TRUE(count_lines(reader, assembly, &got, level));
      const std::string where =
          what + " assembly " + std::to_string(assembly) + " level " + level_name(level);
      EXPECT_EQ(expected.total, got.total) << where;
      EXPECT_EQ(expected.comment, got.comment) << where;
      EXPECT_EQ(expected.blank, got.blank) << where;
    }
  }
}

TEST(CountLines, RunsOfLinesCountAsLineByLine) {
  std::mt19937 random(11);
  // Mostly CR LF lines of code, comments and blanks, with the bytes at the
  // edges of the white-space range; in some rounds, now and then a lone
  // carriage return, a zero byte, a line too long for one read, one that
  // ends about where a piece is cut, a line end at a window's first, middle
  // or last bytes, and near the end a 0x1A.
  const std::vector<std::string> pieces = {"\r\n", "\r\n", "\r\n", "\n",   " ",   "  ", "\t", "\v",
                                           "\f",   "\x08", "\x0e", "\x1f", "!",   ";",  "/*", "*/",
                                           "/",    "/*/",  "*",    "x",    "mov", " ;"};
  const std::vector<std::string> rare = {"\r", "\r\r", std::string(1, '\0'), "\r\n\x1a"};
  // A machine without the widest scans leaves them out.
  std::cout << "Levels compared: bytes up to " << level_name(best_scan_level()) << "\n";
  scratch_dir dir;
  for (int round = 0; round < 12; ++round) {
    std::string bytes;
    const bool plain = round % 3 == 0;
    while (bytes.size() < (round < 11 ? 100000u : 3 * kReadBlock)) {
      const std::size_t pick = random() % 1000;
      if (!plain && pick < 1) {
        bytes += std::string(100 + random() % 300, 'x');
      } else if (!plain && pick < 5) {
        // A line whose carriage return, or the "*/" of a comment, comes at
        // about the cut of a piece: 254 bytes.
        const std::string x(250 + random() % 4, 'x');
        bytes += pick < 3 ? "\n" + x + "\r\n" : "\n/*" + x + "*/\r\n";
      } else if (!plain && pick < 9) {
        const std::size_t offsets[] = {0, 31, 32, 63};
        while (bytes.size() % kScanWindow != offsets[pick - 5]) bytes += 'x';
        bytes += pieces[random() % 4];
      } else if (!plain && pick < 13 && (pick < 12 || bytes.size() > 90000)) {
        bytes += rare[pick - 9];
      } else {
        bytes += pieces[pick % pieces.size()];
      }
    }
    write_file(dir / "in", bytes);
    // Small blocks, whose ends fall at other bytes of a window in each
    // round, and in the last round, a larger file, blocks of the programs'
    // size.
    const std::size_t block = round < 11 ? kKeptBytes + 61 * round : kReadBlock;
    expect_counted_as_line_by_line(dir / "in", bytes, block, "round " + std::to_string(round));
  }
}

// A carriage return as the last byte of a block, of the programs' size
// and of small ones, ends no count.
TEST(CountLines, CarriageReturnEndingABlockEndsNoCount) {
  scratch_dir dir;
  for (std::size_t block : {kReadBlock, kKeptBytes, kKeptBytes + 1, kKeptBytes + 63}) {
    const std::string bytes = std::string(block - 1, 'x') + "\r\n" + repeated("y\r\n", 1000);
    write_file(dir / "in", bytes);
    expect_counted_as_line_by_line(dir / "in", bytes, block, "block " + std::to_string(block));
  }
}

TEST(CountLines, CountsPastTwoToTheThirtyFirst) {
  text_reader reader;
  open_memory_reader(reader, "\n");
  line_tally tally;
  tally.total = INT32_MAX;
  ASSERT_TRUE(count_lines(reader, true, &tally));
  EXPECT_EQ("Total lines:   2147483648\nComment lines: 0\nBlank lines:   1\n",
            format_report(tally));
}

TEST(IsAssemblyName, WholeRestAfterPeriodInAnyCase) {
  for (const char* name : {"x.asm", "X.ASM", "x.Asm", ".asm", "dir/.ASM"}) {
    EXPECT_TRUE(is_assembly_name(name)) << name;
  }
  for (const char* name : {"x.asm.txt", "prog.asmx", "dir.asm/x", "asm", "x.c", ""}) {
    EXPECT_FALSE(is_assembly_name(name)) << name;
  }
}

TEST(AsmtallyProgram, ReportsOrFailsWithStatusOne) {
  scratch_dir dir;
  for (const char* name : {"X.ASM", "x.asm.txt"})
    write_file(dir / name, "; a\r\n; b\r\n/* c */\r\n\r\n");
  const std::string usage = "Usage: asmtally <filename>\r\n",
                    no_open = "Unable to open input file\r\n";
  const struct {
    std::vector<std::string> args;
    int status;
    std::string out, err = "";
    bool report_unwritable = false;
  } cases[] = {
      {{dir / "X.ASM"}, 0, "Total lines:   4\r\nComment lines: 2\r\nBlank lines:   1\r\n"},
      {{dir / "x.asm.txt"}, 0, "Total lines:   4\r\nComment lines: 1\r\nBlank lines:   1\r\n"},
      {{}, 1, usage},
      {{"a", "b"}, 1, usage},
      {{dir / "missing.asm"}, 1, no_open},
      {{dir / "X.ASM"}, 1, "", "Unable to write report\r\n", true},
  };
  for (const auto& c : cases) {
    run_options options;
    if (c.report_unwritable) {
#ifdef _WIN32
      continue;  // no file size limit to fail with here
#endif
      // Room for the message on standard error, not for the report.
      options.stdout_path = dir / "report";
      options.file_size_limit = 32;
    }
    run_result r = run_program(kit_program("asmtally"), c.args, options);
    EXPECT_EQ(c.status, r.status) << c.out << c.err;
    EXPECT_EQ(c.out, r.out);
    EXPECT_EQ(c.err, r.err);
  }
}
