// tlfix on odd and hostile input: binary bytes, huge lines, a FIFO, names
// that need quoting in a shell, an empty PATH.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/e2e_support.h"

namespace {

using namespace std::string_literals;

struct tlfix_site {
  scratch_dir dir;
  std::string log = dir / "tools.log";
  run_options options;
  tlfix_site() {
    make_dir(dir / "tools");
    install_fake_tool(dir / "tools", "tlink");
    options.cwd = dir / "work";
    make_dir(options.cwd);
    options.env = {{"PATH", dir / "tools"}, {"FAKE_TOOL_LOG", log}};
  }
  run_result run(const std::string& rsp) {
    return run_program(kit_program("tlfix"), {"tlink", rsp}, options);
  }
};

TEST(TlfixHostile, ResponseFilesThatCannotBeRewrittenStayAsTheyAre) {
  // A FIFO is read once its writer comes; putting a plain file in its place
  // would break whoever owns it, so it is refused like any file that cannot
  // be updated, and nothing runs.
  tlfix_site site;
  const std::string fifo = site.options.cwd + "/app.rsp";
  ASSERT_EQ(symlink("app.rsp", (site.options.cwd + "/link.rsp").c_str()), 0);
  for (const char* name : {"app.rsp", "link.rsp"}) {
    unlink(fifo.c_str());
    fifo_feeder feeder(fifo, "a.res b.obj\n");
    run_result result = site.run(name);
    EXPECT_EQ(result.status, 1) << name;
    EXPECT_EQ(result.out, "Unable to update response file!\r\n") << name;
    struct stat st;
    ASSERT_EQ(lstat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode)) << name;
  }
  EXPECT_EQ(system(("test $(ls -A '" + site.options.cwd + "' | wc -l) -eq 2").c_str()), 0);
  EXPECT_TRUE(read_tool_log(site.log).empty());
}

TEST(TlfixHostile, BinaryBytesAreDataAndHugeLinesAreRefused) {
  tlfix_site site;
  const std::string rsp = site.options.cwd + "/app.rsp";
  // Zero bytes, bytes above 0x7F and a tab stay inside their tokens; the
  // module-definition name left after the resource name holds the tab.
  write_file(rsp, "\x7f\x80\xff a\0b.res\tc.def\r\n\xe9\x00\r\n"s);
  EXPECT_EQ(site.run("app.rsp").status, 0);
  const std::string rewritten = "\x7f\x80\xff \tc.def\r\n\xe9\x00\r\n\r\na\0b.res"s;
  EXPECT_EQ(read_file(rsp), rewritten);
  ASSERT_EQ(read_tool_log(site.log).size(), 1u);
  EXPECT_EQ(read_tool_log(site.log)[0].files.at(0).second, rewritten);
  EXPECT_FALSE(file_exists(site.options.cwd + "/\tc.def")) << "the default .def was not removed";

  // A line of a megabyte comes in more pieces than a response file may have.
  const std::string huge = std::string(1 << 20, 'h') + ".res\r\n";
  write_file(rsp, huge);
  run_result result = site.run("app.rsp");
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "Too many lines in input file!\r\n");
  EXPECT_EQ(read_file(rsp), huge);
  EXPECT_EQ(read_tool_log(site.log).size(), 1u);
}

TEST(TlfixHostile, OddNamesPassUnchangedAndAnEmptyPathFindsOnlyTheCurrentFolder) {
  tlfix_site site;
  const std::string name =
      "my \"odd\" \xc3\xb1"
      "ame;$(x).rsp";
  write_file(site.options.cwd + "/" + name, "a.obj 'q r'.res\r\n");
  EXPECT_EQ(site.run(name).status, 0);
  EXPECT_EQ(read_file(site.options.cwd + "/" + name), "a.obj 'q \r\n\r\nr'.res");
  ASSERT_EQ(read_tool_log(site.log).size(), 1u);
  EXPECT_EQ(read_tool_log(site.log)[0].argv.at(1), "@" + name);

  site.options.env[0].second = "";
  EXPECT_EQ(site.run(name).status, 255);  // no tlink in the current folder
  install_fake_tool(site.options.cwd, "tlink");
  EXPECT_EQ(site.run(name).status, 0);
  EXPECT_EQ(read_tool_log(site.log).size(), 2u);
}

TEST(TlfixHostile, AHalfWrittenDefaultDefFileIsRemovedAndNothingLinks) {
  // Room for the rewritten response file (14 bytes) but not for the
  // default module-definition file (75 bytes).
  tlfix_site site;
  write_file(site.options.cwd + "/app.rsp", "a.res b.def\r\n");
  site.options.file_size_limit = 40;
  run_result result = site.run("app.rsp");
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "Unable to create default .DEF file!\r\n");
  EXPECT_EQ(read_file(site.options.cwd + "/app.rsp"), "b.def\r\n\r\na.res");
  EXPECT_FALSE(file_exists(site.options.cwd + "/b.def"));
  EXPECT_TRUE(read_tool_log(site.log).empty());
}

TEST(TlfixHostile, ReadErrorsInterruptsAndRacesLoseNothing) {
  tlfix_site site;
  const std::string rsp = site.options.cwd + "/app.rsp";
  std::string big = "a.res\r\n";
  for (int i = 0; i < 100; ++i) big += std::string(1000, 'o') + ".obj\r\n";
  const struct {
    std::string before;
    std::vector<std::string> wrapper;
    int status;
    std::string out, after;
  } cases[] = {
      // A read that fails part-way is no end of the file.
      {big, with_fault("read", "read:error=EIO:when=2", rsp), 1,
       "Unable to open response file!\r\n", big},
      // Interrupted before the rewrite is in place: the file stays whole.
      {"a.res b.obj\r\n", with_fault("rename", "rename:error=EINTR:signal=SIGTERM"), 128 + 15, "",
       "a.res b.obj\r\n"},
      // Another build made the missing .def first: it is that build's.
      {"a.res b.def\r\n", with_fault("openat", "openat:error=EEXIST", "b.def"), 0, "",
       "b.def\r\n\r\na.res"},
  };
  for (const auto& c : cases) {
    if (c.wrapper.empty()) GTEST_SKIP() << "strace is missing or cannot trace here";
    write_file(rsp, c.before);
    site.options.wrapper = c.wrapper;
    run_result result = site.run("app.rsp");
    EXPECT_EQ(result.status, c.status) << c.wrapper.back();
    EXPECT_EQ(result.out, c.out) << c.wrapper.back();
    EXPECT_EQ(read_file(rsp), c.after) << c.wrapper.back();
    EXPECT_EQ(read_tool_log(site.log).size(), c.status == 0 ? 1u : 0u) << c.wrapper.back();
    EXPECT_EQ(system(("test $(ls -A '" + site.options.cwd + "' | wc -l) -eq 1").c_str()), 0)
        << "a file was left behind";
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
    tlfix_site site;
    const std::string rsp = site.options.cwd + "/app.rsp";
    write_file(rsp, "a.res b.obj\r\n");
    write_file(site.log, "");
    ASSERT_EQ(chmod(site.dir.path.c_str(), 0755) | chmod(site.log.c_str(), 0666) |
                  chown(rsp.c_str(), c.owner, c.owner) | chmod(rsp.c_str(), c.file) |
                  chmod(site.options.cwd.c_str(), c.folder),
              0);
    site.options.user = c.runner;
    run_result result = site.run("app.rsp");
    const std::string where = "file " + std::to_string(c.file) + " in " + std::to_string(c.folder);
    EXPECT_EQ(result.status, c.status) << where;
    EXPECT_EQ(result.out, c.status ? "Unable to update response file!\r\n" : "") << where;
    EXPECT_EQ(read_file(rsp), c.status ? "a.res b.obj\r\n" : "b.obj\r\n\r\na.res") << where;
    struct stat st;
    ASSERT_EQ(stat(rsp.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, static_cast<uid_t>(c.owner)) << where;
    EXPECT_EQ(st.st_gid, static_cast<gid_t>(c.owner)) << where;
    EXPECT_EQ(st.st_mode & 07777, c.file) << where;
    EXPECT_EQ(system(("test $(ls -A '" + site.options.cwd + "' | wc -l) -eq 1").c_str()), 0)
        << where << ": a file was left behind";
    chmod(site.options.cwd.c_str(), 0755);
  }
}

}  // namespace
