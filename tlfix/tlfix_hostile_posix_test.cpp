// tlfix on odd and hostile input: binary bytes, a FIFO, names that need
// quoting in a shell, failing reads and writes, interrupts, races and
// permissions.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "tests/e2e_support.h"

namespace {

using namespace std::string_literals;

TEST(TlfixHostile, AFifoIsReadButNeverReplaced) {
  // Putting a plain file in its place would break whoever owns it, so it
  // is refused like any file that cannot be updated, and nothing runs.
  tool_site site({"tlink"});
  ASSERT_EQ(symlink("app.rsp", (site / "link.rsp").c_str()), 0);
  for (const char* name : {"app.rsp", "link.rsp"}) {
    unlink((site / "app.rsp").c_str());
    fifo_feeder feeder(site / "app.rsp", "a.res b.obj\n");
    run_result result = site.run("tlfix", {"tlink", name});
    EXPECT_EQ(result.status, 1) << name;
    EXPECT_EQ(result.out, "Unable to update response file!\r\n") << name;
    struct stat st;
    ASSERT_EQ(lstat((site / "app.rsp").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode)) << name;
  }
  EXPECT_EQ(site.left(), (std::vector<std::string>{"app.rsp", "link.rsp"}));
  EXPECT_TRUE(site.runs().empty());
}

TEST(TlfixHostile, BinaryBytesAndOddNamesAreData) {
  // Zero bytes, bytes above 0x7F and a tab stay inside their tokens; the
  // module-definition name left after the resource name holds the tab.
  const std::string odd =
      "my \"odd\" \xc3\xb1"
      "ame;$(x).rsp";
  const struct {
    std::string name, before, after;
  } cases[] = {
      {"app.rsp", "\x7f\x80\xff a\0b.res\tc.def\r\n\xe9\x00\r\n"s,
       "\x7f\x80\xff \tc.def\r\n\xe9\x00\r\n\r\na\0b.res"s},
      {odd, "a.obj 'q r'.res\r\n", "a.obj 'q \r\n\r\nr'.res"},
  };
  for (const auto& c : cases) {
    tool_site site({"tlink"});
    write_file(site / c.name, c.before);
    EXPECT_EQ(site.run("tlfix", {"tlink", c.name}).status, 0);
    EXPECT_EQ(read_file(site / c.name), c.after);
    const std::vector<tool_run> runs = site.runs();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].argv.at(1), "@" + c.name);
    EXPECT_EQ(runs[0].files.at(0).second, c.after);
    EXPECT_EQ(site.left(), std::vector<std::string>{c.name}) << "the default .def was not removed";
  }
}

TEST(TlfixHostile, AHalfWrittenDefaultDefFileIsRemovedAndNothingLinks) {
  // Room for the rewritten response file (14 bytes) but not for the
  // default module-definition file (75 bytes).
  tool_site site({"tlink"});
  write_file(site / "app.rsp", "a.res b.def\r\n");
  site.options.file_size_limit = 40;
  run_result result = site.run("tlfix", {"tlink", "app.rsp"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "Unable to create default .DEF file!\r\n");
  EXPECT_EQ(read_file(site / "app.rsp"), "b.def\r\n\r\na.res");
  EXPECT_EQ(site.left(), std::vector<std::string>{"app.rsp"});
  EXPECT_TRUE(site.runs().empty());
}

TEST(TlfixHostile, ReadErrorsInterruptsAndRacesLoseNothing) {
  tool_site site({"tlink"});
  std::string big = "a.res\r\n";
  for (int i = 0; i < 100; ++i) big += std::string(1000, 'o') + ".obj\r\n";
  const struct {
    std::string before;
    std::vector<std::string> wrapper;
    int status;
    std::string out, after;
  } cases[] = {
      // A read that fails part-way is no end of the file.
      {big, with_fault("read", "read:error=EIO:when=2", site / "app.rsp"), 1,
       "Unable to open response file!\r\n", big},
      // Interrupted before the rewrite is in place: the file stays whole.
      {"a.res b.obj\r\n", with_fault("rename", "rename:error=EINTR:signal=SIGTERM"), 128 + 15, "",
       "a.res b.obj\r\n"},
      // Another build made the missing .def first: it is that build's.
      {"a.res b.def\r\n", with_fault("openat", "openat:error=EEXIST", "b.def"), 0, "",
       "b.def\r\n\r\na.res"},
  };
  for (const auto& c : cases) {
    if (c.wrapper.empty()) GTEST_SKIP() << "strace is missing (apt-get install strace) or cannot trace here";
    write_file(site / "app.rsp", c.before);
    site.options.wrapper = c.wrapper;
    run_result result = site.run("tlfix", {"tlink", "app.rsp"});
    EXPECT_EQ(result.status, c.status) << c.wrapper.back();
    EXPECT_EQ(result.out, c.out) << c.wrapper.back();
    EXPECT_EQ(read_file(site / "app.rsp"), c.after) << c.wrapper.back();
    EXPECT_EQ(site.runs().size(), c.status == 0 ? 1u : 0u) << c.wrapper.back();
    EXPECT_EQ(site.left(), std::vector<std::string>{"app.rsp"}) << c.wrapper.back();
  }
}

TEST(TlfixHostile, TheResponseFileKeepsItsOwnerAndIsRewrittenOnlyWhereItMayBe) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to act as two users";
  const int root = 0, nobody = 65534;
  const struct {
    mode_t folder, file;
    int owner, runner, status;
  } cases[] = {
      {0777, 0444, nobody, nobody, 1},  // refused as a rewrite in place would be
      {0755, 0640, nobody, root, 0},    // replaced, for its owner still
      {0555, 0644, nobody, nobody, 0},  // a folder that takes no new file: in place
      {01777, 0666, root, nobody, 0},   // someone else's file in a sticky folder: in place
  };
  for (const auto& c : cases) {
    // Copies of the programs, which the build folder may keep out of reach.
    tool_site site;
    const std::string tlfix = site.dir / "tlfix", tlink = site.dir / "tools/tlink";
    namespace fs = std::filesystem;
    fs::copy_file(kit_program("tlfix"), tlfix);
    fs::copy_file(kit_program("fake_tool"), tlink);
    const std::string rsp = site / "app.rsp";
    write_file(rsp, "a.res b.obj\r\n");
    write_file(site.log, "");
    ASSERT_EQ(chmod(site.dir.path.c_str(), 0755) | chmod(site.log.c_str(), 0666) |
                  chown(rsp.c_str(), c.owner, c.owner) | chmod(rsp.c_str(), c.file) |
                  chmod(site.work.c_str(), c.folder),
              0);
    site.options.user = c.runner;
    run_result result = run_program(tlfix, {"tlink", "app.rsp"}, site.options);
    const std::string where = "file " + std::to_string(c.file) + " in " + std::to_string(c.folder);
    EXPECT_EQ(result.status, c.status) << where;
    EXPECT_EQ(result.out, c.status ? "Unable to update response file!\r\n" : "") << where;
    EXPECT_EQ(read_file(rsp), c.status ? "a.res b.obj\r\n" : "b.obj\r\n\r\na.res") << where;
    struct stat st;
    ASSERT_EQ(stat(rsp.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, static_cast<uid_t>(c.owner)) << where;
    EXPECT_EQ(st.st_gid, static_cast<gid_t>(c.owner)) << where;
    EXPECT_EQ(st.st_mode & 07777, c.file) << where;
    EXPECT_EQ(site.left(), std::vector<std::string>{"app.rsp"}) << where;
    chmod(site.work.c_str(), 0755);
  }
}

}  // namespace
