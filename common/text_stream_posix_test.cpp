// The text reader on a file that shrinks while it is read.
#include <gtest/gtest.h>
#include <unistd.h>

#include "common/text_stream.h"
#include "tests/e2e_support.h"

namespace {

// A small file is read in blocks and a large one mapped; a mapped one may
// shrink before a page of it was read, or after, when reading the pages it
// lost would end the program with SIGBUS unless the reader catches that.
TEST(TextReader, FailsWhenTheFileShrinksWhileItIsRead) {
  scratch_dir dir;
  std::string text;
  while (text.size() < 3 << 20) text += "a line of text\r\n";
  const struct {
    std::size_t size;
    bool read_first, raw;
  } cases[] = {{20000, false, false},  {20000, false, true},   {3 << 20, false, false},
               {3 << 20, false, true}, {3 << 20, true, false}, {3 << 20, true, true}};
  for (const auto& c : cases) {
    write_file(dir / "in", text.substr(0, c.size));
    text_reader reader;
    ASSERT_TRUE(open_reader(reader, dir / "in"));
    std::string_view line;
    if (c.read_first) {
      ASSERT_TRUE(read_line(reader, 255, &line));
    }
    ASSERT_EQ(::truncate((dir / "in").c_str(), 1000), 0);
    // Raw views are looked at byte by byte, as the line counter does.
    bool to_end = false;
    std::size_t line_feeds = 0;
    while (c.raw ? !to_end : read_line(reader, 255, &line)) {
      if (!c.raw) continue;
      const std::string_view raw = raw_bytes(reader, 1, &to_end);
      for (char byte : raw) line_feeds += byte == '\n';
      skip_raw(reader, raw.size());
    }
    EXPECT_TRUE(reader_failed(reader))
        << c.size << " " << c.read_first << " " << c.raw << " " << line_feeds;
  }
}

}  // namespace
