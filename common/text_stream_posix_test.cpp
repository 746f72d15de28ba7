// The text reader on a file that shrinks while it is read, and the writer
// on one that cannot grow.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include "common/text_stream.h"
#include "tests/e2e_support.h"

namespace {

// A file that is cut fails the read: before its first block was read or
// after, and whether the cut leaves less than a block or more.
TEST(TextReader, FailsWhenTheFileShrinksWhileItIsRead) {
  scratch_dir dir;
  std::string text;
  while (text.size() < 3 << 20) text += "a line of text\r\n";
  // A cut after the first block leaves reads that stop short of the size
  // the file had when it was opened.
  const std::size_t big = 3 << 20, cut_later = big - 1000;
  const struct {
    std::size_t size;
    bool read_first, raw;
    std::size_t left;
  } cases[] = {{20000, false, false, 1000},   {20000, false, true, 1000},
               {big, false, false, 1000},     {big, false, true, 1000},
               {big, true, false, 1000},      {big, true, true, 1000},
               {big, true, false, cut_later}, {big, true, true, cut_later}};
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
