#include <gtest/gtest.h>
#include <windows.h>

#include <thread>

#include "common/file_system.h"
#include "tests/e2e_support.h"

namespace {

TEST(FileSystemWin32, ReplacesTextLeavingNothingBeside) {
  scratch_dir dir;
  write_file(dir / "app.rsp", "old\r\n");
  ASSERT_EQ(replace_result::replaced, replace_file_text(dir / "app.rsp", "new\nlines\n"));
  EXPECT_EQ("new\r\nlines\r\n", read_file(dir / "app.rsp"));
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
// written in place, so that both names show the new text.
TEST(FileSystemWin32, WaitsForAFileHeldOpenForAMomentAndReachesEveryLink) {
  for (const bool linked : {false, true}) {
    scratch_dir dir;
    write_file(dir / "app.rsp", "old\r\n");
    if (linked) {
      ASSERT_TRUE(CreateHardLinkA((dir / "other.rsp").c_str(), (dir / "app.rsp").c_str(), nullptr));
    }
    HANDLE held =
        CreateFileA((dir / "app.rsp").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    std::thread release([held] {
      Sleep(300);
      CloseHandle(held);
    });
    EXPECT_EQ(replace_result::replaced, replace_file_text(dir / "app.rsp", "new\n")) << linked;
    release.join();
    EXPECT_EQ("new\r\n", read_file(dir / "app.rsp")) << linked;
    if (linked) {
      EXPECT_EQ("new\r\n", read_file(dir / "other.rsp"));
    }
  }
}

}  // namespace
