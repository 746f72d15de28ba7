#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/file_system.h"
#include "tests/e2e_support.h"

namespace {

TEST(ReplaceFileText, ReplacesTheTargetKeepingModeAndLinks) {
  scratch_dir dir;
  write_file(dir / "real.rsp", "old\r\n");
  chmod((dir / "real.rsp").c_str(), 0640);
  ASSERT_EQ(0, symlink("real.rsp", (dir / "link.rsp").c_str()));

  ASSERT_TRUE(replace_file_text(dir / "link.rsp", "new\nlines\n"));
  EXPECT_EQ("new\r\nlines\r\n", read_file(dir / "real.rsp"));
  struct stat st;
  ASSERT_EQ(0, lstat((dir / "link.rsp").c_str(), &st));
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  ASSERT_EQ(0, stat((dir / "real.rsp").c_str(), &st));
  EXPECT_EQ(0640u, st.st_mode & 07777);
  // Nothing is left beside it.
  EXPECT_EQ(0, system(("test $(ls -A '" + dir.path + "' | wc -l) -eq 2").c_str()));
}

TEST(ReplaceFileText, FailsWithoutTouchingAnything) {
  scratch_dir dir;
  EXPECT_FALSE(replace_file_text(dir / "missing", "x"));
  EXPECT_FALSE(file_exists(dir / "missing"));
}

TEST(FileSystem, ExistenceCountsDanglingLinks) {
  scratch_dir dir;
  ASSERT_EQ(0, symlink("nowhere", (dir / "dangling").c_str()));
  EXPECT_TRUE(path_exists(dir / "dangling"));
  EXPECT_TRUE(path_exists(dir.path));
  EXPECT_FALSE(path_exists(dir / "nothing"));
  file_id a, b;
  EXPECT_FALSE(identify_file(dir / "dangling", &a));
  write_file(dir / "f", "");
  ASSERT_EQ(0, link((dir / "f").c_str(), (dir / "g").c_str()));
  ASSERT_TRUE(identify_file(dir / "f", &a));
  ASSERT_TRUE(identify_file(dir.path + "/./g", &b));
  EXPECT_TRUE(same_file(a, b));
  ASSERT_TRUE(identify_file(dir.path, &b));
  EXPECT_FALSE(same_file(a, b));
}

}  // namespace
