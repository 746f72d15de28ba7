#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/run_tool.h"
#include "tests/e2e_support.h"

namespace {

// Runs each test in a scratch folder with a PATH of its own, and puts the
// process back as it was afterwards.
class RunTool : public testing::Test {
 protected:
  void SetUp() override {
    char cwd[4096];
    ASSERT_TRUE(getcwd(cwd, sizeof cwd));
    old_cwd_ = cwd;
    if (const char* path = getenv("PATH")) old_path_ = path;
    ASSERT_EQ(0, chdir(dir_.path.c_str()));
    setenv("FAKE_TOOL_LOG", log().c_str(), 1);
    unsetenv("FAKE_TOOL_EXIT");
  }
  void TearDown() override {
    ASSERT_EQ(0, chdir(old_cwd_.c_str()));
    setenv("PATH", old_path_.c_str(), 1);
    unsetenv("FAKE_TOOL_LOG");
    unsetenv("FAKE_TOOL_EXIT");
  }
  std::string log() const { return dir_ / "log"; }
  std::string folder(const std::string& name) {
    make_dir(dir_ / name);
    return dir_ / name;
  }
  void script(const std::string& path, const std::string& text) {
    write_file(path, text);
    chmod(path.c_str(), 0755);
  }

  scratch_dir dir_;
  std::string old_cwd_;
  std::string old_path_;
};

TEST_F(RunTool, SearchesPathInOrderPastWhatCannotRun) {
  std::string plain = folder("plain");
  std::string blocked = folder("blocked");
  std::string found = folder("found");
  std::string later = folder("later");
  make_dir(blocked + "/tool");                    // a folder
  write_file(plain + "/tool", "not executable");  // no permission to run
  setenv("PATH", ("::" + plain + ":" + blocked + "/:" + found + ":" + later).c_str(), 1);
  install_fake_tool(found, "tool");
  script(later + "/tool", "#!/bin/sh\nexit 9\n");
  setenv("FAKE_TOOL_EXIT", "tool=3", 1);

  EXPECT_EQ(3, run_tool("tool", {"tool", "a b", "", "@x"}));
  std::vector<tool_run> runs = read_tool_log(log());
  ASSERT_EQ(1u, runs.size());
  EXPECT_EQ((std::vector<std::string>{"tool", "a b", "", "@x"}), runs[0].argv);
  EXPECT_EQ(dir_.path, runs[0].cwd);
}

TEST_F(RunTool, TriesTheCurrentDirectoryFirst) {
  std::string bin = folder("bin");
  install_fake_tool(bin, "tool");
  setenv("PATH", bin.c_str(), 1);
  script(dir_ / "tool", "#!/bin/sh\nexit 7\n");
  EXPECT_EQ(7, run_tool("tool", {"tool"}));
  // A script whose interpreter is missing counts as not found.
  script(dir_ / "tool", "#!/nonexistent/shell\n");
  EXPECT_EQ(0, run_tool("tool", {"tool"}));
}

TEST_F(RunTool, NamesWithASlashAreNotSearched) {
  std::string bin = folder("bin");
  install_fake_tool(bin, "tool");
  setenv("PATH", bin.c_str(), 1);
  EXPECT_EQ(-1, run_tool("./tool", {"./tool"}));
  EXPECT_EQ(0, run_tool(bin + "/tool", {bin + "/tool"}));
}

TEST_F(RunTool, EmptyOrUnsetPathEndsTheSearch) {
  std::string bin = folder("bin");
  install_fake_tool(bin, "tool");
  setenv("PATH", "", 1);
  EXPECT_EQ(-1, run_tool("tool", {"tool"}));
  unsetenv("PATH");
  EXPECT_EQ(-1, run_tool("tool", {"tool"}));
  EXPECT_EQ(-1, run_tool("", {""}));
  EXPECT_TRUE(read_tool_log(log()).empty());
}

TEST_F(RunTool, ReportsStatusesAndSignals) {
  script(dir_ / "quits", "#!/bin/sh\nexit 255\n");
  script(dir_ / "killed", "#!/bin/sh\nkill -9 $$\n");
  EXPECT_EQ(255, run_tool("quits", {"quits"}));
  EXPECT_EQ(128 + 9, run_tool("killed", {"killed"}));
}

}  // namespace
