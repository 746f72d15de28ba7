#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdint>

#include "common/file_system.h"
#include "tests/e2e_support.h"

namespace {

// An ACL that gives one more user (nobody) read access, as the kernel
// stores it: a version, then a tag, permissions and id for each entry.
std::string acl_with_named_user() {
  std::string acl;
  auto add = [&acl](std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) acl += static_cast<char>(value >> (8 * i));
  };
  add(2, 4);
  const std::uint32_t entries[][3] = {
      {0x01, 6, ~0u}, {0x02, 4, 65534}, {0x04, 4, ~0u}, {0x10, 4, ~0u}, {0x20, 0, ~0u}};
  for (const auto& entry : entries) {
    add(entry[0], 2);
    add(entry[1], 2);
    add(entry[2], 4);
  }
  return acl;
}

std::string attribute(const std::string& path, const char* name) {
  char value[256];
  const ssize_t size = getxattr(path.c_str(), name, value, sizeof value);
  return size < 0 ? "(none)" : std::string(value, static_cast<std::size_t>(size));
}

TEST(ReplaceFileText, ReplacesTheTargetKeepingModeAttributesAndLinks) {
  scratch_dir dir;
  write_file(dir / "real.rsp", "old\r\n");
  chmod((dir / "real.rsp").c_str(), 0640);
  ASSERT_EQ(0, symlink("real.rsp", (dir / "link.rsp").c_str()));
  const std::string acl = acl_with_named_user();
  // A folder whose new files give nobody access; a file in it that gives
  // none keeps giving none.
  make_dir(dir / "shared");
  write_file(dir / "shared/plain.rsp", "old\r\n");
  chmod((dir / "shared/plain.rsp").c_str(), 0640);
  if (setxattr((dir / "real.rsp").c_str(), "user.kit", "kept", 4, 0) != 0 ||
      setxattr((dir / "real.rsp").c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0) !=
          0 ||
      setxattr((dir / "shared").c_str(), "system.posix_acl_default", acl.data(), acl.size(), 0) !=
          0)
    GTEST_SKIP() << "this file system takes no extended attributes or ACLs";
  // A file with a second name is rewritten in place, so both show the new text.
  write_file(dir / "hard.rsp", "old\r\n");
  ASSERT_EQ(0, link((dir / "hard.rsp").c_str(), (dir / "other.rsp").c_str()));

  for (const char* name : {"link.rsp", "hard.rsp", "shared/plain.rsp"})
    ASSERT_EQ(replace_result::replaced, replace_file_text(dir / name, "new\nlines\n")) << name;
  for (const char* name : {"real.rsp", "hard.rsp", "other.rsp", "shared/plain.rsp"})
    EXPECT_EQ("new\r\nlines\r\n", read_file(dir / name)) << name;
  struct stat st;
  ASSERT_EQ(0, lstat((dir / "link.rsp").c_str(), &st));
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  for (const char* name : {"real.rsp", "shared/plain.rsp"}) {
    ASSERT_EQ(0, stat((dir / name).c_str(), &st));
    EXPECT_EQ(0640u, st.st_mode & 07777) << name;
  }
  EXPECT_EQ("kept", attribute(dir / "real.rsp", "user.kit"));
  EXPECT_EQ(acl, attribute(dir / "real.rsp", "system.posix_acl_access"));
  EXPECT_EQ("(none)", attribute(dir / "shared/plain.rsp", "system.posix_acl_access"));
  // Nothing is left beside them.
  EXPECT_EQ(0, system(("test $(ls -A '" + dir.path + "' | wc -l) -eq 5").c_str()));
}

// Where the folder takes no new file, the new content waits in memory, and
// needs no folder for temporary files.
TEST(ReplaceFileText, AFolderThatTakesNoNewFileNeedsNoTemporaryFolder) {
  scratch_dir dir;
  const std::string folder = dir / "ro", rsp = folder + "/app.rsp";
  make_dir(folder);
  write_file(rsp, "old\r\n");
  write_file(dir / "tmp", "a file, not a folder");
  ASSERT_EQ(0,
            chmod(dir.path.c_str(), 0755) | chmod(rsp.c_str(), 0666) | chmod(folder.c_str(), 0555));
  const char* tmpdir = getenv("TMPDIR");
  const std::string saved = tmpdir ? tmpdir : "";
  setenv("TMPDIR", (dir / "tmp").c_str(), 1);
  // Root would make the file in the folder anyway: run as nobody.
  const bool root = geteuid() == 0;
  if (root) {
    ASSERT_EQ(0, seteuid(65534));
  }
  const replace_result result = replace_file_text(rsp, "new\n");
  if (root) {
    ASSERT_EQ(0, seteuid(0));
  }
  tmpdir ? setenv("TMPDIR", saved.c_str(), 1) : unsetenv("TMPDIR");
  EXPECT_EQ(replace_result::replaced, result);
  EXPECT_EQ("new\r\n", read_file(rsp));
}

// In a sticky folder that everyone may write, a link another user planted
// is not followed, as the system would not follow it either; one of this
// user's, or of the folder's owner, is.
TEST(ReplaceFileText, FollowsALinkInASharedFolderOnlyWhereTheSystemWould) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to act as two users";
  const int root = 0, nobody = 65534;
  const struct {
    int folder_owner, link_owner;
    replace_result result;
  } cases[] = {
      {root, nobody, replace_result::unchanged},
      {root, root, replace_result::replaced},
      {nobody, nobody, replace_result::replaced},
  };
  for (const auto& c : cases) {
    scratch_dir dir;
    make_dir(dir / "shared");
    write_file(dir / "secret", "secret\r\n");
    ASSERT_EQ(0, symlink("../secret", (dir / "shared/app.rsp").c_str()) |
                     chmod((dir / "shared").c_str(), 01777) |
                     chown((dir / "shared").c_str(), c.folder_owner, c.folder_owner) |
                     lchown((dir / "shared/app.rsp").c_str(), c.link_owner, c.link_owner));
    EXPECT_EQ(c.result, replace_file_text(dir / "shared/app.rsp", "new\n")) << c.link_owner;
    EXPECT_EQ(c.result == replace_result::replaced ? "new\r\n" : "secret\r\n",
              read_file(dir / "secret"));
  }
}

TEST(ReplaceFileText, FailsWithoutTouchingAnything) {
  scratch_dir dir;
  EXPECT_EQ(replace_result::unchanged, replace_file_text(dir / "missing", "x"));
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
