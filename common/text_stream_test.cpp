#include "common/text_stream.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <limits>
#include <random>

#include "tests/e2e_support.h"
#include "tests/support/reference_reader.h"
#include "tests/support/test_streams.h"

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

// Reads the whole file, in blocks of block_size bytes, beside the
// byte-at-a-time reading of its bytes, going on past 0x1A marks as it
// does, and tells where they first differ.
std::string first_difference(const std::string& path, const std::string& bytes, std::size_t limit,
                             std::size_t block_size) {
  text_reader reader;
  EXPECT_TRUE(open_reader_in_blocks(reader, path, block_size));
  reference_reader reference{bytes};
  std::string want;
  std::string_view got;
  bool to_end = false;
  for (int read = 0; reference.at < bytes.size() || !raw_bytes(reader, 1, &to_end).empty();
       ++read) {
    const bool wanted = reference_read_line(reference, limit, &want);
    if (read_line(reader, limit, &got) != wanted || (wanted && got != want))
      return "read " + std::to_string(read) + " of limit " + std::to_string(limit);
  }
  return reader_failed(reader) ? "a read failed" : "";
}

TEST(TextReader, MatchesByteAtATimeReadingAcrossBlocks) {
  std::mt19937 random(7);
  const char alphabet[] = {'a', '\r', '\n', 0x1a, '\0', ' '};
  const std::size_t unbounded = std::numeric_limits<std::size_t>::max();
  scratch_dir dir;
  for (int round = 0; round < 3; ++round) {
    // Four blocks of the programs' size, or forty small ones, and a little
    // more.
    const std::size_t block = round < 2 ? kReadBlock : kKeptBytes, blocks = round < 2 ? 4 : 40;
    std::string bytes(blocks * block + 100, 'x');
    if (round == 1) {
      // Lines longer than a block, so that a piece has to grow past it.
      for (std::size_t at = random() % 50000; at < bytes.size(); at += 1 + random() % 60000)
        bytes[at] = alphabet[1 + random() % 3];
    } else {
      for (char& c : bytes) c = alphabet[random() % (round == 0 ? 6 : 3)];
    }
    // Each block ends between a carriage return and the byte taken in its
    // place: a line feed, another carriage return, 0x1A or a plain one.
    const char after_cr[] = {'\n', '\r', 0x1a, 'a'};
    for (std::size_t k = 1; k <= blocks; ++k) {
      bytes[k * block - 1] = '\r';
      bytes[k * block] = after_cr[k % 4];
    }
    write_file(dir / "in", bytes);
    for (std::size_t limit : {std::size_t{2}, std::size_t{255}, std::size_t{2048}, unbounded}) {
      EXPECT_EQ("", first_difference(dir / "in", bytes, limit, block)) << "round " << round;
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
  const std::string raw(150000, 'r');
  {
    text_writer writer;
    ASSERT_TRUE(open_writer(writer, dir / "out"));
    write_text(writer, big);
    // Raw bytes, more than a block, after text still waiting, and then text.
    write_text(writer, "t\n");
    write_raw(writer, raw);
    write_text(writer, "t\n");
    EXPECT_TRUE(close_writer(writer));
  }
  std::string expected = big + "t\r\n" + raw + "t\r\n";
  expected.replace(100, 1, "\r\n");
  EXPECT_EQ(expected, read_file(dir / "out"));

  text_writer exclusive;
  EXPECT_FALSE(open_writer(exclusive, dir / "out", create_mode::exclusive));
}

}  // namespace
