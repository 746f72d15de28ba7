// coffdrv on odd and hostile input: binary and huge response files, a FIFO
// or a device named as one, one that cannot be read, names that need
// quoting in a shell, an interrupt while gcc runs.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/e2e_support.h"

namespace {

using namespace std::string_literals;

const std::vector<std::string> kTools = {"gcc", "strip", "coff2exe", "rm"};

// What gcc found in its response file; empty when gcc did not run.
std::string gcc_file(const tool_site& site) {
  const std::vector<tool_run> runs = site.runs();
  return runs.empty() || runs[0].files.empty() ? "" : runs[0].files[0].second;
}

TEST(CoffdrvHostile, ResponseFilesOfAnyKindAreReadOrRefusedWithoutHanging) {
  tool_site site(kTools);
  fifo_feeder feeder(site / "fifo.rsp", "f.o\r\n");
  // Zero bytes and bytes above 0x7F are parts of words; reading stops at a
  // 0x1A that begins a line.
  write_file(site / "bin.rsp",
             "a\0b.o\t\xff\xfe.o\r\nlib\x80.a\r\n\x1a"
             "c.o\r\n"s);
  const std::string word(1 << 20, 'w');
  write_file(site / "huge.rsp", "x.o " + word + ".o y.o\r\n");

  run_result result = site.run("coffdrv", {"p.exe", "@fifo.rsp", "@bin.rsp", "@huge.rsp"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(gcc_file(site),
            "f.o a\0b.o \xff\xfe.o x.o "s + word + ".o y.o lib\x80.a lib\x80.a -o p\r\n");
  EXPECT_EQ(site.left(), (std::vector<std::string>{"bin.rsp", "fifo.rsp", "huge.rsp"}));

  // A device is refused like a file that cannot be opened: some never end.
  const own_terminal terminal;
  result = site.run("coffdrv", {"p.exe", "a.o", "@" + terminal.path});
  EXPECT_EQ(result.status, 255);
  EXPECT_EQ(result.out, "Unable to open response file @" + terminal.path + "!\r\n");
  EXPECT_EQ(site.runs().size(), 4u) << "a tool ran after the failure";

  // A read that fails part-way is no end of the file.
  site.options.wrapper = with_fault("read", "read:error=EIO:when=1", site / "bin.rsp");
  if (site.options.wrapper.empty())
    GTEST_SKIP() << "strace is missing (apt-get install strace) or cannot trace here";
  result = site.run("coffdrv", {"p.exe", "a.o", "@bin.rsp"});
  EXPECT_EQ(result.status, 255);
  EXPECT_EQ(result.out, "Unable to open response file @bin.rsp!\r\n");
  EXPECT_EQ(site.runs().size(), 4u) << "a tool ran after the failure";
}

TEST(CoffdrvHostile, OddNamesReachTheToolsWhole) {
  tool_site site(kTools);
  const std::string main =
                        "my \"odd\" \xc3\xb1"
                        "ame.exe",
                    base =
                        "my \"odd\" \xc3\xb1"
                        "ame";
  ASSERT_EQ(site.run("coffdrv", {"-O2", main, "it's.o"}).status, 0);
  // gcc reads them back from its file, where they stand escaped.
  EXPECT_EQ(gcc_file(site),
            "-O2 it\\'s.o -o my\\ \\\"odd\\\"\\ \xc3\xb1"
            "ame\r\n");
  std::vector<std::vector<std::string>> rest;
  for (const tool_run& run : site.runs()) rest.push_back(run.argv);
  rest.erase(rest.begin());
  EXPECT_EQ(rest, (std::vector<std::vector<std::string>>{
                      {"strip", base}, {"coff2exe", base}, {"rm", base}}));
}

TEST(CoffdrvHostile, AnInterruptRemovesTheResponseFileOnceGccIsDone) {
  // SIGINT (here sent by gcc, once it has read its file) is passed on to
  // gcc, which runs in a group of its own; a file-size limit hits the
  // response file as it is written.
  const struct {
    std::vector<std::string> wrapper;
    int status;
    std::string gcc_read;
  } cases[] = {
      {{"/usr/bin/env"}, 128 + 2, "a.o -o p\r\n"},
      {with_fault("write", "write:signal=SIGXFSZ:when=1"), 128 + 25, ""},
  };
  for (const auto& c : cases) {
    if (c.wrapper.empty())
      GTEST_SKIP() << "strace is missing (apt-get install strace) or cannot trace here";
    tool_site site({"gcc", "strip", "coff2exe", "rm"});
    site.options.wrapper = c.wrapper;
    site.options.env.emplace_back("FAKE_TOOL_HANG", "gcc=2");
    EXPECT_EQ(site.run("coffdrv", {"p.exe", "a.o"}).status, c.status) << c.wrapper.back();
    EXPECT_EQ(gcc_file(site), c.gcc_read) << c.wrapper.back();
    const std::vector<tool_run> runs = site.runs();
    ASSERT_EQ(runs.size(), c.gcc_read.empty() ? 0u : 1u) << c.wrapper.back();
    if (!runs.empty()) {
      EXPECT_EQ(runs[0].ended_by, SIGINT);
    }
    EXPECT_TRUE(site.left().empty()) << c.wrapper.back();
  }
}

}  // namespace
