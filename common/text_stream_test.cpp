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

// Bytes of the file taken by the reader so far.
off_t bytes_taken(const text_reader& reader) {
  return ::lseek(reader.fd, 0, SEEK_CUR) - static_cast<off_t>(reader.end - reader.pos);
}

using read_function = bool (*)(text_reader&, std::size_t, std::string_view*);

// Reads the whole file, going on past 0x1A marks as the reference does: a
// read that yields no line ends the file only when it took no byte.
lines read_file_through(const std::string& path, std::size_t limit, read_function read) {
  text_reader reader;
  EXPECT_TRUE(open_reader(reader, path));
  lines got;
  std::string_view line;
  for (;;) {
    const off_t before = bytes_taken(reader);
    if (read(reader, limit, &line)) {
      got.emplace_back(line);
    } else if (bytes_taken(reader) == before) {
      break;
    }
  }
  return got;
}

TEST(TextReader, MatchesByteAtATimeReadingAcrossBlocks) {
  std::mt19937 random(7);
  const char alphabet[] = {'a', '\r', '\n', 0x1a, '\0', ' '};
  const std::size_t unbounded = std::numeric_limits<std::size_t>::max();
  scratch_dir dir;
  for (int round = 0; round < 16; ++round) {
    std::string bytes(70000 + random() % 70000, 'x');
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
      ASSERT_EQ(expected, read_file_through(dir / "in", limit, read_line))
          << "round " << round << " limit " << limit;
      ASSERT_EQ(expected, read_file_through(dir / "in", limit, read_line_view))
          << "round " << round << " limit " << limit;
    }
  }
}

// Lines as the line reads hand them out, from a run of read_plain_lines:
// each CR LF pair stands for a line feed.
void split_run(std::string_view run, lines* out) {
  while (!run.empty()) {
    std::size_t lf = run.find('\n');
    std::string line(run.substr(0, lf + 1));
    if (line.size() >= 2 && line[line.size() - 2] == '\r') line.erase(line.size() - 2, 1);
    out->push_back(line);
    run.remove_prefix(lf + 1);
  }
}

TEST(TextReader, RunsOfPlainLinesAreTheLinesReadOneByOne) {
  std::mt19937 random(5);
  const std::vector<std::string> rare = {"\r", "\r\r\n", "\x1a", std::string(1, '\0')};
  for (int round = 0; round < 24; ++round) {
    // Lines of every length around the windows' size, and in most rounds now
    // and then a line too long for one read or a byte no run may hold.
    const bool plain = round % 4 == 0;
    std::string bytes;
    while (bytes.size() < 30000) {
      const std::size_t pick = random() % 100;
      if (!plain && pick < 2) {
        bytes += rare[random() % rare.size()];
      } else if (!plain && pick < 4) {
        bytes += std::string(200 + random() % 400, 'y');
      }
      bytes += std::string(random() % 140, pick % 2 ? 'x' : ' ');
      bytes += pick % 3 ? "\r\n" : "\n";
    }
    if (round % 3 == 1) bytes += "\r";  // a carriage return as the last byte
    const lines expected = reference_read(bytes, 255);
    for (scan_isa isa : {scan_isa::portable, scan_isa::sse2, scan_isa::avx2, scan_isa::avx512}) {
      if (!scan_isa_usable(isa)) continue;
      text_reader reader;
      open_memory_reader(reader, bytes);
      reader.isa = isa;
      lines got;
      std::size_t in_runs = 0;
      std::string_view run;
      for (;;) {
        const std::size_t before = reader.pos;
        if (read_plain_lines(reader, 255, &run)) {
          split_run(run, &got);
          in_runs += run.size();
        } else if (read_line_view(reader, 255, &run)) {
          got.emplace_back(run);
        } else if (reader.pos == before) {
          break;
        }
      }
      const int level = static_cast<int>(isa);
      ASSERT_EQ(expected, got) << "round " << round << " isa " << level;
      // Runs that give up too soon would pass the comparison above unseen.
      if (plain) {
        EXPECT_GT(in_runs, bytes.size() * 9 / 10) << "round " << round << " isa " << level;
      }
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

  text_writer full;
  ASSERT_TRUE(open_writer(full, "/dev/full"));
  write_text(full, "lost\n");
  EXPECT_FALSE(close_writer(full));

  text_writer exclusive;
  EXPECT_FALSE(create_writer_exclusive(exclusive, dir / "out"));
}

}  // namespace
