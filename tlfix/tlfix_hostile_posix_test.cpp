// tlfix on odd and hostile input: binary bytes, a FIFO, names that need
// quoting in a shell, failing reads and writes, interrupts, races and
// permissions.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
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
  // A linker run through a wrapper script, as DOS linkers often are.
  make_dir(site.dir / "real");
  install_fake_tool(site.dir / "real", "tlink");
  write_file(site.dir / "tools/wtlink",
             "#!/bin/sh\nFAKE_TOOL_PARENT=$PPID " + site.dir / "real/tlink \"$@\"\n");
  ASSERT_EQ(chmod((site.dir / "tools/wtlink").c_str(), 0755), 0);
  std::string big = "a.res\r\n";
  for (int i = 0; i < 100; ++i) big += std::string(1000, 'o') + ".obj\r\n";
  const std::string old = "a.res b.obj\r\n", moved = "b.obj\r\n\r\na.res",
                    with_def = "b.def\r\n\r\na.res", update = "Unable to update response file!\r\n";
  const struct {
    std::string before;
    std::vector<std::string> wrapper;
    bool linked;  // the file has a second name, and is rewritten in place
    int hang;     // the linker ends tlfix by this signal, and runs on until a signal ends it
    int status;
    std::string out, after;
    std::size_t runs;
    std::string linker = "tlink";
  } cases[] = {
      // A read that fails part-way is no end of the file.
      {big, with_fault("read", "read:error=EIO:when=2", site / "app.rsp"), false, 0, 1,
       "Unable to open response file!\r\n", big, 0},
      // Interrupted before the rewrite is in place: the file stays whole.
      {old, with_fault("rename", "rename:error=EINTR:signal=SIGTERM"), false, 0, 128 + 15, "", old,
       0},
      // Stopped by a file-size limit at its first write: nothing is left.
      {old, with_fault("write", "write:signal=SIGXFSZ:when=1"), false, 0, 128 + 25, "", old, 0},
      // A rewrite that may not reach the disk is no rewrite.
      {old, with_fault("fsync", "fsync:error=EIO"), false, 0, 1, update, old, 0},
      // Every name shows the new text, with no folder for temporary files
      // needed; an interrupt while it is written over the old one waits
      // until the file is whole; a failure puts the old text back, or says
      // that it could not.
      {old, {"/usr/bin/env", "TMPDIR=" + site.dir / "missing"}, true, 0, 0, "", moved, 1},
      {old, with_fault("write", "write:signal=SIGTERM:when=1", site / "app.rsp"), true, 0, 128 + 15,
       "", moved, 0},
      {old, with_fault("write", "write:error=EIO:when=2", site / "app.rsp"), true, 0, 1, update,
       old, 0},
      {old, with_fault("fsync", "fsync:error=EIO:when=1", site / "app.rsp"), true, 0, 1, update,
       old, 0},
      {old, with_fault("write", "write:error=EIO:when=2+", site / "app.rsp"), true, 0, 1,
       update + "Unable to restore response file!\r\n", old + "s", 0},
      // Another build made the missing .def first: it is that build's.
      {"a.res b.def\r\n", with_fault("openat", "openat:error=EEXIST", "b.def"), false, 0, 0, "",
       with_def, 1},
      // The default .def this run made goes with an interrupt, from the
      // moment it exists, and while the linker runs, which the
      // termination reaches too, and every process the linker started.
      {"a.res b.def\r\n", with_fault("openat", "openat:signal=SIGTERM", "b.def"), false, 0,
       128 + 15, "", with_def, 0},
      {"a.res b.def\r\n", {"/usr/bin/env"}, false, SIGTERM, 128 + 15, "", with_def, 1},
      {"a.res b.def\r\n", {"/usr/bin/env"}, false, SIGHUP, 128 + 1, "", with_def, 1},
      {"a.res b.def\r\n", {"/usr/bin/env"}, false, SIGTERM, 128 + 15, "", with_def, 1, "wtlink"},
      // Started with SIGCHLD ignored, it still sees its linker end.
      {"a.res b.def\r\n", {"/usr/bin/env", "--ignore-signal=CHLD"}, false, 0, 0, "", with_def, 1},
  };
  for (const auto& c : cases) {
    if (c.wrapper.empty())
      GTEST_SKIP() << "strace is missing (apt-get install strace) or cannot trace here";
    const std::string& fault = c.wrapper.back() + " " + c.linker;
    write_file(site / "app.rsp", c.before);
    if (c.linked) {
      ASSERT_EQ(link((site / "app.rsp").c_str(), (site / "other.rsp").c_str()), 0);
    }
    site.options.wrapper = c.wrapper;
    site.options.env.emplace_back("FAKE_TOOL_HANG", "tlink=" + std::to_string(c.hang));
    if (!c.hang) site.options.env.back().second.clear();
    run_result result = site.run("tlfix", {c.linker, "app.rsp"});
    site.options.env.pop_back();
    EXPECT_EQ(result.status, c.status) << fault;
    EXPECT_EQ(result.out, c.out) << fault;
    EXPECT_EQ(read_file(site / "app.rsp"), c.after) << fault;
    if (c.linked) {
      EXPECT_EQ(read_file(site / "other.rsp"), c.after) << fault;
      unlink((site / "other.rsp").c_str());
    }
    const std::vector<tool_run> runs = site.runs();
    EXPECT_EQ(runs.size(), c.runs) << fault;
    if (c.hang && !runs.empty()) {
      EXPECT_EQ(runs[0].ended_by, c.hang) << fault;
    }
    EXPECT_EQ(site.left(), std::vector<std::string>{"app.rsp"}) << fault;
    unlink(site.log.c_str());
  }
}

// The linker runs in a session of its own, and so can still read the
// terminal that tlfix was started from (a linker may ask for what its
// response file left out), where a process group of its own in tlfix's
// session would be stopped as a background job.
TEST(TlfixHostile, ALinkerThatAsksTheTerminalStillCan) {
  tool_site site;
  write_file(site.dir / "tools/asks", "#!/bin/sh\nread line && test \"$line\" = x.obj\n");
  ASSERT_EQ(chmod((site.dir / "tools/asks").c_str(), 0755), 0);
  write_file(site / "app.rsp", "a.obj\r\n");
  own_terminal terminal;
  site.options.stdin_path = terminal.path;
  site.options.wrapper = {"/usr/bin/setsid", "--ctty"};
  EXPECT_EQ(site.run("tlfix", {"asks", "app.rsp"}).status, 0);
}

TEST(TlfixHostile, TheResponseFileKeepsItsOwnerAndIsRewrittenOnlyWhereItMayBe) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to act as two users";
  const int root = 0, nobody = 65534;
  const struct {
    mode_t folder, file;
    int owner, runner, status;
    bool full_disk;
  } cases[] = {
      {0777, 0444, nobody, nobody, 1, false},  // refused as a rewrite in place would be
      {0755, 0640, nobody, root, 0, false},    // replaced, for its owner still
      // The set-user and set-group bits are set after the last write and
      // the change of owner, which would clear them.
      {0755, 04755, nobody, root, 0, false},
      {0777, 06755, nobody, nobody, 0, false},
      {0555, 0644, nobody, nobody, 0, false},  // a folder that takes no new file: in place
      {01777, 0666, root, nobody, 0, false},   // someone else's file in a sticky folder: in place
      // In place on a full disk: the longer text finds no room, and the
      // file stays as it was.
      {0555, 0644, nobody, nobody, 1, true},
  };
  for (const auto& c : cases) {
    // Copies of the programs, which the build folder may keep out of reach.
    tool_site site;
    small_disk disk(site.work, 64 * 1024);
    if (c.full_disk && !disk.mounted) GTEST_SKIP() << "cannot mount a small tmpfs here";
    const std::string tlfix = site.dir / "tlfix", tlink = site.dir / "tools/tlink";
    namespace fs = std::filesystem;
    fs::copy_file(kit_program("tlfix"), tlfix);
    fs::copy_file(kit_program("fake_tool"), tlink);
    const std::string rsp = site / "app.rsp", filler = site / "filler";
    // The rewrite adds a byte: here, one past the page the file fills.
    const std::string objects = std::string(c.full_disk ? 4096 - 12 : 1, 'b') + ".obj";
    const std::string before = "a.res " + objects + "\r\n";
    write_file(rsp, before);
    write_file(site.log, "");
    make_dir(site.dir / "tmp");
    ASSERT_EQ(chmod(site.dir.path.c_str(), 0755) | chmod(site.log.c_str(), 0666) |
                  chmod((site.dir / "tmp").c_str(), 0777) | chown(rsp.c_str(), c.owner, c.owner) |
                  chmod(rsp.c_str(), c.file) | chmod(site.work.c_str(), c.folder),
              0);
    if (c.full_disk) {
      const int fd = open(filler.c_str(), O_WRONLY | O_CREAT, 0644);
      const std::string block(4096, 'f');
      while (write(fd, block.data(), block.size()) > 0) {
      }
      close(fd);
    }
    site.options.user = c.runner;
    site.options.env.emplace_back("TMPDIR", site.dir / "tmp");
    run_result result = run_program(tlfix, {"tlink", "app.rsp"}, site.options);
    unlink(filler.c_str());
    const std::string where = "file " + std::to_string(c.file) + " in " + std::to_string(c.folder);
    EXPECT_EQ(result.status, c.status) << where;
    EXPECT_EQ(result.out, c.status ? "Unable to update response file!\r\n" : "") << where;
    EXPECT_EQ(read_file(rsp), c.status ? before : objects + "\r\n\r\na.res") << where;
    struct stat st;
    ASSERT_EQ(stat(rsp.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, static_cast<uid_t>(c.owner)) << where;
    EXPECT_EQ(st.st_gid, static_cast<gid_t>(c.owner)) << where;
    EXPECT_EQ(st.st_mode & 07777, c.file) << where;
    EXPECT_EQ(site.left(), std::vector<std::string>{"app.rsp"}) << where;
    EXPECT_TRUE(fs::is_empty(site.dir / "tmp")) << where;
    chmod(site.work.c_str(), 0755);
  }
}

}  // namespace
