// coffdrv on odd and hostile input: a LIB of thousands of folders, binary
// and huge response files, a folder or a FIFO named as one, names that need
// quoting in a shell, an empty PATH.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "tests/e2e_support.h"

namespace {

using namespace std::string_literals;

struct coff_site {
  scratch_dir dir;
  std::string work = dir / "work", log = dir / "tools.log";
  run_options options;
  coff_site() {
    make_dir(dir / "tools");
    make_dir(work);
    for (const char* tool : {"gcc", "strip", "coff2exe", "rm"})
      install_fake_tool(dir / "tools", tool);
    options.cwd = work;
    options.env = {{"PATH", dir / "tools"}, {"FAKE_TOOL_LOG", log}};
    options.unset_env = {"LIB"};
  }
  run_result run(const std::vector<std::string>& args) {
    return run_program(kit_program("coffdrv"), args, options);
  }
  // What gcc found in its response file; empty when gcc did not run.
  std::string gcc_file() const {
    for (const tool_run& run : read_tool_log(log)) {
      if (run.argv.at(0) == "gcc" && !run.files.empty()) return run.files[0].second;
    }
    return "";
  }
  std::size_t files_left() const {
    std::size_t n = 0;
    for (const auto& entry : std::filesystem::directory_iterator(work)) {
      n += entry.path().filename().string().rfind("coffdrv", 0) == 0;
    }
    return n;
  }
};

TEST(CoffdrvHostile, ALibOfThousandsOfFoldersIsSearchedInOrder) {
  coff_site site;
  std::string lib;
  for (int i = 0; i < 3000; ++i) lib += site.dir / ("lib/d" + std::to_string(i)) + ";";
  make_dir(site.dir / "lib");
  for (int i : {1500, 2999}) {
    make_dir(site.dir / ("lib/d" + std::to_string(i)));
    write_file(site.dir / ("lib/d" + std::to_string(i) + "/libz.a"), "");
  }
  site.options.env.push_back({"LIB", lib});
  ASSERT_EQ(site.run({"p.exe", "a.o", "libz.a", "libq.a"}).status, 0);
  const std::string found = site.dir / "lib/d1500/libz.a";
  EXPECT_EQ(site.gcc_file(), "a.o " + found + " libq.a " + found + " libq.a -o p\r\n");
}

TEST(CoffdrvHostile, ResponseFilesOfAnyKindAreReadOrRefusedWithoutHanging) {
  coff_site site;
  make_dir(site.work + "/folder.rsp");
  fifo_feeder feeder(site.work + "/fifo.rsp", "f.o\r\n");
  // Zero bytes and bytes above 0x7F are parts of words; reading stops at a
  // 0x1A that begins a line.
  write_file(site.work + "/bin.rsp",
             "a\0b.o\t\xff\xfe.o\r\nlib\x80.a\r\n\x1a"
             "c.o\r\n"s);
  const std::string word(1 << 20, 'w');
  write_file(site.work + "/huge.rsp", "x.o " + word + ".o y.o\r\n");

  run_result result = site.run({"p.exe", "@fifo.rsp", "@bin.rsp", "@huge.rsp"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(site.gcc_file(),
            "f.o a\0b.o \xff\xfe.o x.o "s + word + ".o y.o lib\x80.a lib\x80.a -o p\r\n");
  EXPECT_EQ(site.files_left(), 0u);

  // A device is refused like a file that cannot be opened: /dev/zero would
  // never end.
  for (const std::string name : {"@folder.rsp", "@/dev/zero"}) {
    result = site.run({"p.exe", "a.o", name});
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.out, "Unable to open response file " + name + "!\r\n");
  }
  EXPECT_EQ(read_tool_log(site.log).size(), 4u) << "a tool ran after the failure";
}

TEST(CoffdrvHostile, AnInterruptRemovesTheResponseFileOnceGccIsDone) {
  coff_site site;
  const std::vector<std::string> wrapper = with_fault("wait4", "wait4:signal=SIGTERM:when=1");
  if (wrapper.empty()) GTEST_SKIP() << "strace is missing or cannot trace here";
  // gcc reads its response file only after a while, long after the
  // interrupt came.
  make_dir(site.dir / "real");
  install_fake_tool(site.dir / "real", "gcc");
  ASSERT_EQ(unlink((site.dir / "tools/gcc").c_str()), 0);  // a link to the fake tool itself
  write_file(site.dir / "tools/gcc", "#!/bin/sh\nPATH=/usr/bin:/bin sleep 0.3 || exit 99\nexec " +
                                         site.dir / "real/gcc \"$@\"\n");
  ASSERT_EQ(chmod((site.dir / "tools/gcc").c_str(), 0755), 0);
  site.options.wrapper = wrapper;
  EXPECT_EQ(site.run({"p.exe", "a.o"}).status, 128 + 15);
  const std::vector<tool_run> runs = read_tool_log(site.log);
  ASSERT_EQ(runs.size(), 1u);
  ASSERT_EQ(runs[0].files.size(), 1u);
  EXPECT_EQ(runs[0].files[0].second, "a.o -o p\r\n");
  EXPECT_EQ(site.files_left(), 0u);
}

TEST(CoffdrvHostile, OddNamesReachTheToolsWholeAndAnEmptyPathFindsNoGcc) {
  coff_site site;
  const std::string main =
                        "my \"odd\" \xc3\xb1"
                        "ame.exe",
                    base =
                        "my \"odd\" \xc3\xb1"
                        "ame";
  ASSERT_EQ(site.run({"-O2", main, "it's.o"}).status, 0);
  EXPECT_EQ(site.gcc_file(), "-O2 it's.o -o " + base + "\r\n");
  std::vector<std::vector<std::string>> rest;
  for (const tool_run& run : read_tool_log(site.log)) rest.push_back(run.argv);
  rest.erase(rest.begin());
  EXPECT_EQ(rest, (std::vector<std::vector<std::string>>{
                      {"strip", base}, {"coff2exe", base}, {"rm", base}}));

  site.options.env[0].second = "";
  EXPECT_EQ(site.run({"p.exe", "a.o"}).status, 255);
  EXPECT_EQ(read_tool_log(site.log).size(), 4u);
  EXPECT_EQ(site.files_left(), 0u);
}

}  // namespace
