#include "common/text_stream.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <limits>
#include <random>

#include "tests/e2e_support.h"

namespace {

// Every line read from bytes with the given limit, and the end-of-file
// indicator after each read ('E') or not ('-').
std::vector<std::string> read_all(text_reader& reader, std::size_t limit, std::string* eof_marks) {
  std::vector<std::string> lines;
  std::string_view line;
  while (read_line(reader, limit, &line)) {
    lines.emplace_back(line);
    if (eof_marks) *eof_marks += at_eof(reader) ? 'E' : '-';
  }
  return lines;
}

std::vector<std::string> read_bytes(std::string_view bytes, std::size_t limit = 255,
                                    std::string* eof_marks = nullptr) {
  text_reader reader;
  open_memory_reader(reader, bytes);
  return read_all(reader, limit, eof_marks);
}

using lines = std::vector<std::string>;

TEST(TextReader, DropsCarriageReturnsButNotTheByteAfterOne) {
  EXPECT_EQ((lines{"a\n", "b\n"}), read_bytes("a\r\nb\r\n"));
  EXPECT_EQ((lines{"ab\n"}), read_bytes("a\rb\n"));
  EXPECT_EQ((lines{"a\r\n"}), read_bytes("a\r\r\n"));
  EXPECT_EQ((lines{"a"}), read_bytes("a\r"));
  EXPECT_EQ((lines{"last"}), read_bytes("last"));
}

TEST(TextReader, CtrlZEndsTheFileForOneReadOnly) {
  EXPECT_EQ(read_bytes("x\r\ny\r\n"), read_bytes("x\r\ny\r\n\x1a"));
  std::string marks;
  EXPECT_EQ((lines{"ab", "cd\n"}), read_bytes("ab\x1a"
                                              "cd\n",
                                              255, &marks));
  EXPECT_EQ("EE", marks);
  // At the start of a line it yields no line, which ends read_all there.
  EXPECT_EQ((lines{"a\n"}), read_bytes("a\n\x1a"
                                       "b\n"));
  // A carriage return followed by 0x1A is an end of file too.
  EXPECT_EQ((lines{"a", "b\n"}), read_bytes("a\r\x1a"
                                            "b\n"));
}

TEST(TextReader, EndOfFileIsSetOnlyByAReadThatFindsNothing) {
  text_reader reader;
  open_memory_reader(reader, "x\n");
  std::string_view line = "before";
  ASSERT_TRUE(read_line(reader, 255, &line));
  EXPECT_EQ("x\n", line);
  EXPECT_FALSE(at_eof(reader));
  EXPECT_FALSE(read_line(reader, 255, &line));
  EXPECT_TRUE(at_eof(reader));
  EXPECT_EQ("x\n", line);  // untouched by the read that yielded nothing

  text_reader empty;
  open_memory_reader(empty, "");
  EXPECT_FALSE(at_eof(empty));
  EXPECT_FALSE(read_line(empty, 255, &line));
  EXPECT_TRUE(at_eof(empty));
}

TEST(TextReader, LongLinesComeInPiecesOfLimitLessOne) {
  std::string long_line(300, 'q');
  lines got = read_bytes(long_line + "\r\n");
  ASSERT_EQ(2u, got.size());
  EXPECT_EQ(std::string(254, 'q'), got[0]);
  EXPECT_EQ(std::string(46, 'q') + "\n", got[1]);
  // The dropped carriage return does not count against the limit.
  EXPECT_EQ((lines{"abc\n"}), read_bytes("abc\r\n", 5));
  EXPECT_EQ((lines{"abcd", "\n"}), read_bytes("abcd\r\n", 5));
}

TEST(TextReader, ZeroBytesAreData) {
  std::string bytes("a\0b\r\n\0\n", 7);
  EXPECT_EQ((lines{std::string("a\0b\n", 4), std::string("\0\n", 2)}), read_bytes(bytes));
}

// The rules read one byte at a time, as the reader must behave whatever its
// blocks and fast paths.
lines reference_read(const std::string& bytes, std::size_t limit) {
  lines result;
  std::size_t at = 0;
  for (;;) {
    std::string line;
    bool eof = false;
    while (line.size() < limit - 1) {
      if (at == bytes.size()) {
        eof = true;
        break;
      }
      char c = bytes[at++];
      if (c == '\r') {
        if (at == bytes.size()) {
          eof = true;
          break;
        }
        c = bytes[at++];
      } else if (c == 0x1a) {
        eof = true;
        break;
      }
      if (c == 0x1a) {
        eof = true;
        break;
      }
      line += c;
      if (c == '\n') break;
    }
    if (eof && line.empty()) {
      if (at == bytes.size()) return result;
      continue;  // a 0x1A at the start of a line: the caller's next read goes on
    }
    result.push_back(line);
  }
}

// Reads the whole file, going on past 0x1A marks as the reference does: a
// read that yields no line ends the file only when no byte is left.
lines read_file_through(const std::string& path, std::size_t limit) {
  text_reader reader;
  EXPECT_TRUE(open_reader(reader, path));
  lines got;
  std::string_view line;
  bool final = false;
  for (;;) {
    if (read_line(reader, limit, &line)) {
      got.emplace_back(line);
    } else if (raw_bytes(reader, 1, &final).empty()) {
      break;
    }
  }
  EXPECT_FALSE(reader_failed(reader));
  return got;
}

TEST(TextReader, MatchesByteAtATimeReadingAcrossBlocks) {
  std::mt19937 random(7);
  const char alphabet[] = {'a', '\r', '\n', 0x1a, '\0', ' '};
  const std::size_t unbounded = std::numeric_limits<std::size_t>::max();
  scratch_dir dir;
  for (int round = 0; round < 16; ++round) {
    // The last file is large enough to be mapped, and read in several steps.
    std::string bytes(round == 15 ? 5 << 19 : 70000 + random() % 70000, 'x');
    if (round % 4 == 3) {
      // Lines longer than any block, so that a piece has to grow past it.
      for (std::size_t at = random() % 50000; at < bytes.size(); at += 1 + random() % 60000)
        bytes[at] = alphabet[1 + random() % 3];
    } else {
      for (char& c : bytes) c = alphabet[random() % (round % 2 ? 6 : 3)];
    }
    write_file(dir / "in", bytes);
    for (std::size_t limit : {std::size_t{2}, std::size_t{7}, std::size_t{255}, std::size_t{2048},
                              std::size_t{45000}, unbounded}) {
      const lines expected = reference_read(bytes, limit);
      ASSERT_EQ(expected, read_file_through(dir / "in", limit))
          << "round " << round << " limit " << limit;
    }
  }
}

TEST(TextReader, RefusesFoldersAndMissingFiles) {
  scratch_dir dir;
  text_reader reader;
  EXPECT_FALSE(open_reader(reader, dir.path));
  EXPECT_FALSE(open_reader(reader, dir / "missing"));
  // A name with a zero byte names nothing, not the file before the zero.
  write_file(dir / "f", "x");
  EXPECT_FALSE(open_reader(reader, dir / "f" + std::string("\0g", 2)));
}

TEST(TextWriter, EveryLineFeedBecomesCarriageReturnLineFeed) {
  std::string out;
  text_writer writer;
  open_memory_writer(writer, &out);
  write_text(writer, "x\n");
  write_text(writer, "x\r\n");
  write_text(writer, std::string("\0\x1a\n\n", 4));
  EXPECT_TRUE(close_writer(writer));
  EXPECT_EQ(std::string("x\r\nx\r\r\n\0\x1a\r\n\r\n", 13), out);
}

TEST(TextWriter, WritesEverythingToAFileAndReportsFailures) {
  scratch_dir dir;
  std::string big(200000, 'z');
  big[100] = '\n';
  {
    text_writer writer;
    ASSERT_TRUE(open_writer(writer, dir / "out"));
    write_text(writer, big);
    EXPECT_TRUE(close_writer(writer));
  }
  std::string expected = big;
  expected.replace(100, 1, "\r\n");
  EXPECT_EQ(expected, read_file(dir / "out"));

  text_writer exclusive;
  EXPECT_FALSE(open_writer(exclusive, dir / "out", create_mode::exclusive));
}

}  // namespace
