// The text reader on a file that shrinks while it is read, and the writer
// on one that cannot grow.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
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
  // Cut by less than a page, a mapped file raises no SIGBUS: its last page
  // reads as zeros past the new end.
  const std::size_t big = 3 << 20, cut_in_page = big - 1000;
  const struct {
    std::size_t size;
    bool read_first, raw;
    std::size_t left;
  } cases[] = {{20000, false, false, 1000},     {20000, false, true, 1000},
               {big, false, false, 1000},       {big, false, true, 1000},
               {big, true, false, 1000},        {big, true, true, 1000},
               {big, true, false, cut_in_page}, {big, true, true, cut_in_page}};
  for (const auto& c : cases) {
    write_file(dir / "in", text.substr(0, c.size));
    text_reader reader;
    ASSERT_TRUE(open_reader(reader, dir / "in"));
    std::string_view line;
    if (c.read_first) {
      ASSERT_TRUE(read_line(reader, 255, &line));
    }
    ASSERT_EQ(::truncate((dir / "in").c_str(), static_cast<off_t>(c.left)), 0);
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
        << c.size << " " << c.read_first << " " << c.raw << " " << c.left << " " << line_feeds;
  }
}

TEST(TextWriter, ReportsAWriteTheFileSystemRefuses) {
  scratch_dir dir;
  text_writer full;
  ASSERT_TRUE(open_writer(full, dir / "full"));
  write_text(full, "lost\n");
  // Past the file size limit a write fails (EFBIG), with SIGXFSZ ignored.
  struct rlimit before;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
  struct rlimit limit = before;
  limit.rlim_cur = 0;
  void (*on_too_big)(int) = signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
  const bool closed = close_writer(full);
  setrlimit(RLIMIT_FSIZE, &before);
  signal(SIGXFSZ, on_too_big);
  EXPECT_FALSE(closed);
}

}  // namespace
