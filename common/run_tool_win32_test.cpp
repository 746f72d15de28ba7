#include <direct.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <windows.h>

#include "common/run_tool.h"
#include "tests/e2e_support.h"

namespace {

void set_env(const char* name, const std::string& value) {
  _putenv_s(name, value.c_str());
}

std::string get_env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// Runs each test in a scratch folder with a PATH of its own, and puts the
// process back as it was afterwards.
class RunToolWin32 : public testing::Test {
 protected:
  void SetUp() override {
    char cwd[4096];
    ASSERT_TRUE(_getcwd(cwd, sizeof cwd));
    old_cwd_ = cwd;
    old_path_ = get_env("PATH");
    old_comspec_ = get_env("COMSPEC");
    ASSERT_EQ(0, _chdir(dir_.path.c_str()));
    set_env("FAKE_TOOL_LOG", log());
    set_env("FAKE_TOOL_EXIT", "");
  }
  void TearDown() override {
    ASSERT_EQ(0, _chdir(old_cwd_.c_str()));
    set_env("PATH", old_path_);
    set_env("COMSPEC", old_comspec_);
    set_env("FAKE_TOOL_LOG", "");
    set_env("FAKE_TOOL_EXIT", "");
  }
  std::string log() const { return dir_.path + "\\log"; }
  std::string folder(const std::string& name) {
    make_dir(dir_.path + "\\" + name);
    return dir_.path + "\\" + name;
  }
  std::vector<std::string> started() {
    std::vector<std::string> first_arguments;
    for (const tool_run& run : read_tool_log(log())) first_arguments.push_back(run.started_as);
    return first_arguments;
  }

  scratch_dir dir_;
  std::string old_cwd_;
  std::string old_path_;
  std::string old_comspec_;
};

TEST_F(RunToolWin32, FindsTheExeInTheSecondPathDirectory) {
  std::string first = folder("first");
  std::string second = folder("second");
  install_fake_tool(second, "gcc");
  set_env("PATH", first + ";;" + second);
  set_env("FAKE_TOOL_EXIT", "gcc=3");
  EXPECT_EQ(3, run_tool("gcc", {"gcc", "a b", "", "say \"hi\"", "C:\\dir\\", "@x.rsp"}));
  std::vector<tool_run> runs = read_tool_log(log());
  ASSERT_EQ(1u, runs.size());
  EXPECT_EQ(second + "\\gcc.exe", runs[0].started_as);
  // A directory too long for a path of 260 characters ends the search.
  set_env("PATH", first + "\\" + std::string(260 - first.size() - 4, 'd') + ";" + second);
  EXPECT_EQ(-1, run_tool("gcc", {"gcc"}));
  set_env("PATH", first + "\\" + std::string(260 - first.size() - 5, 'd') + ";" + second);
  EXPECT_EQ(3, run_tool("gcc", {"gcc"}));
  EXPECT_EQ((std::vector<std::string>{"gcc", "a b", "", "say \"hi\"", "C:\\dir\\", "@x.rsp"}),
            runs[0].argv);
}

TEST_F(RunToolWin32, TriesTheCurrentDirectoryFirstAndCompletesWholeNames) {
  std::string bin = folder("bin");
  install_fake_tool(bin, "tool");
  install_fake_tool(dir_.path, "tool");
  install_fake_tool(bin, "tool.x");
  install_fake_tool(bin, "tlink");
  make_dir(dir_.path + "\\tlink.exe");  // a folder, not the linker
  install_fake_tool(bin, "link");
  ASSERT_TRUE(CopyFileA((bin + "\\link.exe").c_str(), (bin + "\\link.com").c_str(), TRUE));
  set_env("PATH", bin);
  EXPECT_EQ(0, run_tool("tool", {"tool"}));
  EXPECT_EQ(0, run_tool("tool.x", {"tool.x"}));
  EXPECT_EQ(0, run_tool("tlink", {"tlink"}));
  EXPECT_EQ(0, run_tool("link", {"link"}));
  EXPECT_EQ((std::vector<std::string>{"tool.exe", bin + "\\tool.x.exe", bin + "\\tlink.exe",
                                      bin + "\\link.com"}),
            started());
  EXPECT_EQ(-1, run_tool("missing", {"missing"}));
}

TEST_F(RunToolWin32, RootedNamesAreNotSearchedAlongPath) {
  std::string bin = folder("bin");
  make_dir(bin + "\\kit-nowhere");
  install_fake_tool(bin + "\\kit-nowhere", "tool");
  set_env("PATH", bin);
  EXPECT_EQ(-1, run_tool("\\kit-nowhere\\tool", {"\\kit-nowhere\\tool"}));
  EXPECT_EQ(-1, run_tool("Q:kit-nowhere\\tool", {"Q:kit-nowhere\\tool"}));
  EXPECT_TRUE(started().empty());
  EXPECT_EQ(0, run_tool("kit-nowhere\\tool", {"kit-nowhere\\tool"}));
}

TEST_F(RunToolWin32, RunsBatchFilesThroughTheInterpreter) {
  ASSERT_FALSE(old_comspec_.empty());
  write_file(dir_.path + "\\build.bat", "@echo %1> arg.txt\r\n@exit /b 5\r\n");
  EXPECT_EQ(5, run_tool("build", {"build", "first"}));
  EXPECT_EQ("first\r\n", read_file(dir_.path + "\\arg.txt"));
  EXPECT_EQ(5, run_tool("BUILD.BAT", {"BUILD.BAT", "second"}));
  EXPECT_EQ("second\r\n", read_file(dir_.path + "\\arg.txt"));

  // An argument never starts a command of its own.
  EXPECT_EQ(5, run_tool("build", {"build", "a&echo injected>x.txt"}));
  EXPECT_FALSE(file_exists(dir_.path + "\\x.txt"));
  EXPECT_EQ("\"a&echo injected>x.txt\"\r\n", read_file(dir_.path + "\\arg.txt"));
  // What the interpreter would expand is refused before anything runs.
  write_file(dir_.path + "\\arg.txt", "");
  EXPECT_EQ(-1, run_tool("build", {"build", "%PATH%"}));
  EXPECT_EQ("", read_file(dir_.path + "\\arg.txt"));

  set_env("COMSPEC", "");
  EXPECT_EQ(-1, run_tool("build", {"build", "third"}));
  EXPECT_EQ("", read_file(dir_.path + "\\arg.txt"));
  // An interpreter that is not there ends the search: a program of the
  // name further along PATH is not what the build meant.
  std::string bin = folder("bin");
  install_fake_tool(bin, "build");
  set_env("PATH", bin);
  set_env("COMSPEC", dir_.path + "\\missing.exe");
  EXPECT_EQ(-1, run_tool("build", {"build"}));
  EXPECT_TRUE(started().empty());
  // A program beside the batch file comes first.
  set_env("COMSPEC", old_comspec_);
  install_fake_tool(dir_.path, "build");
  EXPECT_EQ(0, run_tool("build", {"build"}));
}

}  // namespace
