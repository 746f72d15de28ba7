// Runs the built tlfix with a fake linker in a scratch folder.
#include <gtest/gtest.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <windows.h>
#endif

#include <csignal>
#include <filesystem>

#include "tests/e2e_support.h"

namespace {

class Tlfix : public testing::Test {
 protected:
  run_result tlfix(const std::vector<std::string>& args, const std::string& exits = "",
                   long long file_size_limit = -1) {
    run_options options = site_.options;
    options.env.push_back({"FAKE_TOOL_EXIT", exits});
    options.file_size_limit = file_size_limit;
    return run_program(kit_program("tlfix"), args, options);
  }
  std::vector<tool_run> runs() const { return site_.runs(); }

  tool_site site_{{"tlink"}};
};

TEST_F(Tlfix, RewritesTheFileAndRunsTheLinkerOnIt) {
  write_file(site_ / "app.rsp", "c0w.obj app.res main.obj\r\napp.exe\r\n\x1a");
  run_result result = tlfix({"tlink", "app.rsp"});
  EXPECT_EQ(0, result.status);
  EXPECT_EQ("", result.out + result.err);
  const std::string rewritten = "c0w.obj main.obj\r\napp.exe\r\n\r\napp.res";
  EXPECT_EQ(rewritten, read_file(site_ / "app.rsp"));
  std::vector<tool_run> started = runs();
  ASSERT_EQ(1u, started.size());
  EXPECT_EQ((std::vector<std::string>{"tlink", "@app.rsp"}), started[0].argv);
  EXPECT_TRUE(std::filesystem::equivalent(site_.work, started[0].cwd)) << started[0].cwd;
  ASSERT_EQ(1u, started[0].files.size());
  EXPECT_EQ(rewritten, started[0].files[0].second);
}

TEST_F(Tlfix, WrongArgumentCountsGiveTheUsageLine) {
  for (const auto& args : std::vector<std::vector<std::string>>{{}, {"tlink"}, {"a", "b", "c"}}) {
    run_result result = tlfix(args);
    EXPECT_EQ(255, result.status);
    EXPECT_EQ("Usage: tlfix <tlink.exe> <link_rsp_file>\r\n", result.err);
    EXPECT_EQ("", result.out);
  }
  EXPECT_TRUE(runs().empty());
}

TEST_F(Tlfix, UnreadableResponseFilesStartNothing) {
  // A device is no response file a build means, and some never end.
#ifdef _WIN32
  const std::string device = "NUL";
#else
  const own_terminal terminal;
  const std::string device = terminal.path;
#endif
  for (const std::string& name : {std::string("missing.rsp"), device}) {
    run_result result = tlfix({"tlink", name});
    EXPECT_EQ(1, result.status);
    EXPECT_EQ("Unable to open response file!\r\n", result.out);
  }
  EXPECT_TRUE(runs().empty());
}

TEST_F(Tlfix, AcceptsAtMost299Lines) {
  std::string lines;
  for (int i = 0; i < 299; ++i) lines += "x.obj\r\n";
  write_file(site_ / "ok.rsp", lines);
  EXPECT_EQ(0, tlfix({"tlink", "ok.rsp"}).status);
  EXPECT_EQ(lines + "\r\n", read_file(site_ / "ok.rsp"));

  // A line of 2047 bytes and more comes in pieces that count as lines.
  lines = std::string(2047 * 2, 'y') + "\r\n" + lines.substr(7 * 2);
  write_file(site_ / "long.rsp", lines);
  run_result result = tlfix({"tlink", "long.rsp"});
  EXPECT_EQ(1, result.status);
  EXPECT_EQ("Too many lines in input file!\r\n", result.out);
  EXPECT_EQ(lines, read_file(site_ / "long.rsp"));
  EXPECT_EQ(1u, runs().size());
}

TEST_F(Tlfix, MakesAMissingDefFileForTheLinkAndRemovesItAfterSuccess) {
  write_file(site_ / "app.rsp", "app.res app.def\r\n");
  EXPECT_EQ(0, tlfix({"tlink", "app.rsp"}).status);
  EXPECT_FALSE(file_exists(site_ / "app.def"));
  // The linker saw it while it ran: make the link fail to keep it.
  write_file(site_ / "app.rsp", "app.res app.def\r\n");
  EXPECT_EQ(2, tlfix({"tlink", "app.rsp"}, "tlink=2").status);
  EXPECT_EQ("EXETYPE WINDOWS\r\nCODE PRELOAD MOVEABLE DISCARDABLE\r\nDATA PRELOAD MOVEABLE\r\n",
            read_file(site_ / "app.def"));
  // Now it exists and belongs to the user: neither changed nor removed.
  write_file(site_ / "app.def", "NAME MINE\r\n");
  EXPECT_EQ(0, tlfix({"tlink", "app.rsp"}).status);
  EXPECT_EQ("NAME MINE\r\n", read_file(site_ / "app.def"));
  // So is one that DOS would find under the name written: a failed link
  // would keep a default made beside it.
  write_file(site_ / "app.rsp", "app.res ..\\Work\\App.def\r\n");
  EXPECT_EQ(2, tlfix({"tlink", "app.rsp"}, "tlink=2").status);
  EXPECT_EQ(site_.left(), (std::vector<std::string>{"app.def", "app.rsp"}));
  // A default named for DOS is made in the folder DOS would find, under
  // the name written, and removed from there.
  make_dir(site_ / "sub");
  for (const int status : {2, 0}) {
    write_file(site_ / "app.rsp", "app.res SUB\\hellow.def\r\n");
    EXPECT_EQ(status, tlfix({"tlink", "app.rsp"}, "tlink=" + std::to_string(status)).status);
    EXPECT_EQ(status != 0, file_exists(site_ / "sub/hellow.def"));
    std::remove((site_ / "sub/hellow.def").c_str());
  }
  EXPECT_EQ(site_.left(), (std::vector<std::string>{"app.def", "app.rsp", "sub"}));
}

#ifdef _WIN32
BOOL WINAPI let_ctrl_c_pass(DWORD) {
  return TRUE;
}

// A Ctrl+C reaches the linker and tlfix alike: tlfix waits for the linker
// to end, then removes the default .def it made, and ends.  Its status is
// left alone: wine ends a run by Ctrl+C with 0, Windows with 0xC000013A.
TEST_F(Tlfix, CtrlCWhileTheLinkerRunsRemovesTheDefaultDef) {
  // The linker sends it to the console it shares with tlfix and the test:
  // one of the test's own, where the test lets it pass.
  FreeConsole();
  ASSERT_TRUE(AllocConsole());
  ASSERT_TRUE(SetConsoleCtrlHandler(let_ctrl_c_pass, TRUE));
  write_file(site_ / "app.rsp", "app.res app.def\r\n");
  site_.options.env.push_back({"FAKE_TOOL_HANG", "tlink=" + std::to_string(SIGINT)});
  run_result result = tlfix({"tlink", "app.rsp"});
  EXPECT_EQ("", result.out + result.err);
  const std::vector<tool_run> started = runs();
  ASSERT_EQ(1u, started.size());
  EXPECT_EQ(SIGINT, started[0].ended_by);
  EXPECT_EQ(site_.left(), std::vector<std::string>{"app.rsp"});
}
#endif

TEST_F(Tlfix, LinkerFailuresArePassedOn) {
  write_file(site_ / "app.rsp", "x.res y.def\r\n");
  EXPECT_EQ(255, tlfix({"nolinker", "app.rsp"}).status);
  EXPECT_TRUE(file_exists(site_ / "y.def"));
  EXPECT_EQ("y.def\r\n\r\nx.res", read_file(site_ / "app.rsp"));
}

TEST_F(Tlfix, DefFileThatCannotBeMadeStopsBeforeTheLink) {
  write_file(site_ / "app.rsp", "app.res nodir/app.def\r\n");
  run_result result = tlfix({"tlink", "app.rsp"});
  EXPECT_EQ(1, result.status);
  EXPECT_EQ("Unable to create default .DEF file!\r\n", result.out);
  EXPECT_EQ("nodir/app.def\r\n\r\napp.res", read_file(site_ / "app.rsp"));
  EXPECT_TRUE(runs().empty());
}

#ifndef _WIN32  // needs a file size limit to make the write fail
TEST_F(Tlfix, AFailedRewriteKeepsTheOriginalBytes) {
  std::string original = "app.res " + std::string(8000, 'o') + "\r\n";
  write_file(site_ / "app.rsp", original);
  chmod((site_ / "app.rsp").c_str(), 0600);
  run_result result = tlfix({"tlink", "app.rsp"}, "", 4096);
  EXPECT_EQ(1, result.status);
  EXPECT_EQ("Unable to update response file!\r\n", result.out);
  EXPECT_EQ(original, read_file(site_ / "app.rsp"));
  EXPECT_EQ(site_.left(), std::vector<std::string>{"app.rsp"});
  EXPECT_TRUE(runs().empty());
}
#endif

}  // namespace
