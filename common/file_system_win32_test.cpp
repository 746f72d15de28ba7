#include <gtest/gtest.h>
#include <windows.h>
// Needs windows.h first.
#include <fcntl.h>
#include <io.h>
#include <sddl.h>

#include <filesystem>
#include <thread>

#include "common/file_system.h"
#include "common/stream_io.h"
#include "common/text_stream.h"
#include "tests/e2e_support.h"

namespace {

// The access rules of a file, as text.
std::string dacl_text(const std::string& path) {
  DWORD size = 0;
  GetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &size);
  std::string descriptor(size, '\0');
  char* text = nullptr;
  if (!GetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, descriptor.data(), size, &size) ||
      !ConvertSecurityDescriptorToStringSecurityDescriptorA(
          descriptor.data(), SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr)) {
    return "unreadable";
  }
  std::string result = text;
  LocalFree(text);
  return result;
}

std::size_t entries_in(const std::string& folder) {
  const std::filesystem::directory_iterator entries(folder);
  return static_cast<std::size_t>(std::distance(begin(entries), end(entries)));
}

TEST(FileSystemWin32, ReplacesTextLeavingNothingBeside) {
  scratch_dir dir;
  write_file(dir / "app.rsp", "old\r\n");
  // Access rules of the file's own (everyone may do anything) stay its own.
  PSECURITY_DESCRIPTOR everyone;
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(
      "D:P(A;;FA;;;WD)", SDDL_REVISION_1, &everyone, nullptr));
  ASSERT_TRUE(SetFileSecurityA((dir / "app.rsp").c_str(), DACL_SECURITY_INFORMATION, everyone));
  LocalFree(everyone);
  const std::string rules = dacl_text(dir / "app.rsp");
  ASSERT_EQ(replace_result::replaced, replace_file_text(dir / "app.rsp", "new\nlines\n"));
  EXPECT_EQ("new\r\nlines\r\n", read_file(dir / "app.rsp"));
  EXPECT_EQ(rules, dacl_text(dir / "app.rsp"));
  EXPECT_EQ(replace_result::unchanged, replace_file_text(dir / "missing.rsp", "x"));
  EXPECT_EQ(replace_result::unchanged, replace_file_text(dir.path, "x"));
  EXPECT_EQ(replace_result::unchanged, replace_file_text("NUL", "x"));
  EXPECT_FALSE(file_exists(dir / "missing.rsp"));
  file_id a, b;
  ASSERT_TRUE(identify_file(dir / "app.rsp", &a));
  ASSERT_TRUE(identify_file(dir.path + "\\.\\app.rsp", &b));
  EXPECT_TRUE(same_file(a, b));
  ASSERT_TRUE(identify_file(dir.path, &b));
  EXPECT_FALSE(same_file(a, b));
}

// Another process (a scanner, an indexer) may hold the file open for a
// moment without letting it be deleted; a file with a second name is
// written in place, so that both names show the new text.  One that holds
// it for good makes the replacement fail, and leaves nothing beside it.
TEST(FileSystemWin32, WaitsForAFileHeldOpenForAMomentAndReachesEveryLink) {
  const struct { bool linked, for_good; } cases[] = {{false, false}, {true, false}, {false, true}};
  for (const auto& c : cases) {
    scratch_dir dir;
    write_file(dir / "app.rsp", "old\r\n");
    if (c.linked) {
      ASSERT_TRUE(CreateHardLinkA((dir / "other.rsp").c_str(), (dir / "app.rsp").c_str(), nullptr));
    }
    HANDLE held =
        CreateFileA((dir / "app.rsp").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    std::thread release([held, c] {
      if (c.for_good) return;
      Sleep(300);
      CloseHandle(held);
    });
    EXPECT_EQ(c.for_good ? replace_result::unchanged : replace_result::replaced,
              replace_file_text(dir / "app.rsp", "new\n"))
        << c.linked;
    release.join();
    if (c.for_good) CloseHandle(held);
    EXPECT_EQ(c.for_good ? "old\r\n" : "new\r\n", read_file(dir / "app.rsp")) << c.linked;
    if (c.linked) {
      EXPECT_EQ("new\r\n", read_file(dir / "other.rsp"));
    }
    EXPECT_EQ(c.linked ? 2u : 1u, entries_in(dir.path)) << c.for_good;
  }
}

// A failed read or write is never taken for the end of the file or for
// bytes written, and neither is a file cut while it is read.
TEST(StreamIoWin32, ReportsFailedReadsWritesAndCutInputs) {
  scratch_dir dir;
  std::string text;
  while (text.size() < 400000) text += "a line of text\r\n";
  write_file(dir / "in", text);
  char byte = 0;
  const int write_only = _open((dir / "in").c_str(), _O_WRONLY | _O_BINARY);
  EXPECT_EQ(-1, read_input(write_only, &byte, 1));
  _close(write_only);
  const int read_only = _open((dir / "in").c_str(), _O_RDONLY | _O_BINARY);
  EXPECT_FALSE(write_output(read_only, "x", 1));
  _close(read_only);

  text_reader reader;
  ASSERT_TRUE(open_reader(reader, dir / "in"));
  std::string_view line;
  ASSERT_TRUE(read_line(reader, 255, &line));
  const int cutter = _open((dir / "in").c_str(), _O_WRONLY | _O_BINARY);
  ASSERT_EQ(0, _chsize_s(cutter, 1000));
  _close(cutter);
  while (read_line(reader, 255, &line)) {
  }
  EXPECT_TRUE(reader_failed(reader));
}

}  // namespace
