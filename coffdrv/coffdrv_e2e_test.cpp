#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "tests/e2e_support.h"

namespace {

const char kUsage[] = "Usage: coffdrv [options] <mainfile>.exe [objects/libs | @<rspfile>]\r\n";

// A scratch folder with fake tools in "tools" (the only PATH) and the run's
// current directory "work".
struct link_setup {
  scratch_dir dir;
  std::string work = dir / "work";
  run_options options;
  explicit link_setup(const std::vector<std::string>& tools) {
    make_dir(dir / "tools");
    make_dir(work);
    for (const std::string& tool : tools) install_fake_tool(dir / "tools", tool);
    options.cwd = work;
    options.env = {{"PATH", dir / "tools"}, {"FAKE_TOOL_LOG", dir / "log"}};
    options.unset_env = {"LIB"};
  }
  run_result run(const std::vector<std::string>& args) const {
    return run_program(kit_program("coffdrv"), args, options);
  }
  std::vector<tool_run> runs() const { return read_tool_log(dir / "log"); }
};

std::vector<std::string> tool_names(const std::vector<tool_run>& runs) {
  std::vector<std::string> names;
  for (const tool_run& run : runs) names.push_back(run.argv.at(0));
  return names;
}

std::vector<std::string> entries(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    names.push_back(entry.path().filename().string());
  }
  return names;
}

const std::vector<std::string> kFullChain = {"gcc", "strip", "coff2exe", "rm"};

TEST(CoffdrvRun, UsageWithoutArguments) {
  link_setup setup(kFullChain);
  run_result result = setup.run({});
  EXPECT_EQ(result.status, 255);
  EXPECT_EQ(result.err, kUsage);
  EXPECT_EQ(result.out, "");
  EXPECT_TRUE(entries(setup.work).empty());
  EXPECT_TRUE(setup.runs().empty());
}

TEST(CoffdrvRun, ToolChainFollowsDebugFlag) {
  struct {
    std::vector<std::string> args;
    std::string rsp_text;
    std::vector<std::string> tools;
  } cases[] = {
      {{"-O2", "prog.exe", "a.o"}, "-O2 a.o -o prog\r\n", kFullChain},
      {{"prog.exe", "@d.rsp", "b.o"}, "-g3 b.o -o prog\r\n", {"gcc", "coff2exe"}},
  };
  for (const auto& c : cases) {
    link_setup setup(kFullChain);
    write_file(setup.work + "/d.rsp", "-g3\r\n");
    run_result result = setup.run(c.args);
    EXPECT_EQ(result.status, 0) << result.out << result.err;
    std::vector<tool_run> runs = setup.runs();
    ASSERT_EQ(tool_names(runs), c.tools);
    const std::string& rsp_arg = runs[0].argv.at(1);
    EXPECT_EQ(rsp_arg.find('/'), std::string::npos);
    ASSERT_EQ(runs[0].files.size(), 1u);
    EXPECT_EQ("@" + runs[0].files[0].first, rsp_arg);
    EXPECT_EQ(runs[0].files[0].second, c.rsp_text);
    for (std::size_t i = 1; i < runs.size(); ++i) {
      EXPECT_EQ(runs[i].argv, (std::vector<std::string>{c.tools[i], "prog"}));
      EXPECT_EQ(runs[i].cwd, runs[0].cwd);
    }
    EXPECT_EQ(entries(setup.work), std::vector<std::string>{"d.rsp"});
  }
}

TEST(CoffdrvRun, OnlyTheStatusOfGccCounts) {
  struct {
    std::string exits;
    std::vector<std::string> installed;
    int status;
    std::vector<std::string> ran;
  } cases[] = {
      {"gcc=3", kFullChain, 3, {"gcc"}},
      {"", {"strip", "coff2exe", "rm"}, 255, {}},
      {"strip=1,coff2exe=2,rm=1", kFullChain, 0, kFullChain},
  };
  for (const auto& c : cases) {
    link_setup setup(c.installed);
    setup.options.env.push_back({"FAKE_TOOL_EXIT", c.exits});
    EXPECT_EQ(setup.run({"prog.exe", "a.o"}).status, c.status) << c.exits;
    EXPECT_EQ(tool_names(setup.runs()), c.ran);
    EXPECT_TRUE(entries(setup.work).empty()) << "temporary file left behind";
  }
}

TEST(CoffdrvRun, CollectionFailureKeepsTemporaryFile) {
  link_setup setup(kFullChain);
  run_result result = setup.run({"-O2", "prog.exe", "a.o", "@nope.rsp", "b.o"});
  EXPECT_EQ(result.status, 255);
  EXPECT_EQ(result.out, "Unable to open response file @nope.rsp!\r\n");
  std::vector<std::string> left = entries(setup.work);
  ASSERT_EQ(left.size(), 1u);
  EXPECT_EQ(left[0].rfind("coffdrv", 0), 0u);
  EXPECT_EQ(read_file(setup.work + "/" + left[0]), "-O2 a.o ");

  result = setup.run({"-O2", "ab", "a.o"});
  EXPECT_EQ(result.status, 255);
  EXPECT_EQ(result.err, "Expecting name of .exe file!\r\n");
  EXPECT_TRUE(setup.runs().empty());
}

TEST(CoffdrvRun, TemporaryFileFailuresStartNoTool) {
  link_setup setup(kFullChain);
  setup.options.cwd = "/proc";  // no file can be created there
  run_result result = setup.run({"prog.exe", "a.o"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "Unable to open temporary file!\r\n");

  setup.options.cwd = setup.work;
  setup.options.file_size_limit = 64;
  result = setup.run({"prog.exe", std::string(100, 'o') + ".o"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "Unable to write temporary file!\r\n");
  EXPECT_TRUE(entries(setup.work).empty());
  EXPECT_TRUE(setup.runs().empty());
}

TEST(CoffdrvRun, ParallelRunsInOneDirectoryUseTheirOwnFiles) {
  // gcc waits a little, so that the runs overlap while their files exist.
  link_setup setup({"strip", "coff2exe", "rm"});
  make_dir(setup.dir / "real");
  install_fake_tool(setup.dir / "real", "gcc");
  write_file(setup.dir / "tools/gcc", "#!/bin/sh\nPATH=/usr/bin:/bin sleep 0.3 || exit 99\nexec " +
                                          setup.dir / "real/gcc \"$@\"\n");
  ASSERT_EQ(chmod((setup.dir / "tools/gcc").c_str(), 0755), 0);
  const int kRuns = 8;
  std::vector<std::thread> threads;
  std::vector<run_result> results(kRuns);
  for (int i = 0; i < kRuns; ++i) {
    threads.emplace_back([&setup, &results, i] {
      run_options options = setup.options;
      options.env[1].second = setup.dir / ("log" + std::to_string(i));
      results[i] =
          run_program(kit_program("coffdrv"),
                      {"p" + std::to_string(i) + ".exe", std::to_string(i) + ".o"}, options);
    });
  }
  for (std::thread& thread : threads) thread.join();
  std::vector<std::string> names;
  for (int i = 0; i < kRuns; ++i) {
    EXPECT_EQ(results[i].status, 0);
    std::vector<tool_run> runs = read_tool_log(setup.dir / ("log" + std::to_string(i)));
    ASSERT_EQ(runs.size(), 4u);
    ASSERT_EQ(runs[0].files.size(), 1u);
    EXPECT_EQ(runs[0].files[0].second, std::to_string(i) + ".o -o p" + std::to_string(i) + "\r\n");
    names.push_back(runs[0].files[0].first);
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(std::unique(names.begin(), names.end()), names.end());
  EXPECT_TRUE(entries(setup.work).empty());
}

// The real gcc, ar, strip and rm, with the project's stand-in as coff2exe.
TEST(CoffdrvRealGcc, LinksAndRunsAProgram) {
  if (std::system("{ command -v gcc && command -v ar && command -v strip; } >/dev/null") != 0) {
    GTEST_SKIP() << "no gcc tool chain";
  }
  for (const bool debug : {false, true}) {
    scratch_dir dir;
    const std::string work = dir / "work";
    make_dir(work);
    make_dir(dir / "lib");
    make_dir(dir / "tools");
    write_file(work + "/main.c",
               "#include <stdio.h>\nint greet(void);\nint twice(int);\n"
               "int main(void) { printf(\"greet %d\\n\", twice(greet())); return 0; }\n");
    write_file(work + "/twice.c", "int twice(int n) { return 2 * n; }\n");
    write_file(work + "/greet.c", "int greet(void) { return 21; }\n");
    write_file(work + "/more.rsp", "twice.o\r\nlibgreet.a\r\n");
    ASSERT_EQ(std::system(("cd '" + work +
                           "' && gcc -c main.c twice.c greet.c && ar rcs ../lib/libgreet.a greet.o "
                           "&& rm greet.o greet.c")
                              .c_str()),
              0);
    ASSERT_EQ(symlink(kit_program("coff2exe_standin").c_str(), (dir / "tools/coff2exe").c_str()),
              0);
    run_options options;
    options.cwd = work;
    options.env = {{"PATH", dir / "tools" + ":" + std::getenv("PATH")},
                   {"LIB", ";;" + dir / "lib" + ";"}};
    run_result link =
        run_program(kit_program("coffdrv"),
                    {debug ? "-g" : "-O2", "hello.exe", "main.o", "@more.rsp"}, options);
    ASSERT_EQ(link.status, 0) << link.out << link.err;
    EXPECT_EQ(run_program(work + "/hello.exe", {}).out, "greet 42\n");
    EXPECT_EQ(file_exists(work + "/hello"), debug);
    const std::string symbols = "nm '" + work + "/hello.exe' 2>/dev/null | grep -q twice";
    EXPECT_EQ(std::system(symbols.c_str()) == 0, debug) << "strip before coff2exe";
    for (const std::string& name : entries(work)) {
      EXPECT_NE(name.rfind("coffdrv", 0), 0u) << "temporary file left behind";
    }
  }
}

}  // namespace
