#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <thread>

#include "tests/e2e_support.h"

namespace {

const std::vector<std::string> kFullChain = {"gcc", "strip", "coff2exe", "rm"};

// Each run as its arguments, an "@" argument shown as "@" followed by the
// file's bytes in brackets as the tool saw them.
std::vector<std::string> summary(const std::string& log) {
  std::vector<std::string> lines;
  for (const tool_run& run : read_tool_log(log)) {
    std::string line = run.argv.at(0).substr(run.argv[0].rfind('/') + 1);
    for (std::size_t i = 1; i < run.argv.size(); ++i) {
      line += run.argv[i][0] == '@' && run.argv[i].find('/') == std::string::npos
                  ? " @"
                  : " " + run.argv[i];
    }
    for (const auto& file : run.files) line += "[" + file.second + "]";
    lines.push_back(line);
  }
  return lines;
}

TEST(CoffdrvRun, ToolChainFollowsTheStatusOfGccAndTheDebugFlag) {
  const std::vector<std::string> plain = {"gcc @[-O2 a.o -o prog\r\n]", "strip prog",
                                          "coff2exe prog", "rm prog"};
  struct {
    std::vector<std::string> args;
    std::vector<std::string> installed;
    std::string exits;
    int status;
    std::vector<std::string> ran;
  } cases[] = {
      {{"-O2", "prog.exe", "a.o"}, kFullChain, "", 0, plain},
      {{"prog.exe", "@d.rsp", "b.o"},
       kFullChain,
       "",
       0,
       {"gcc @[-g3 b.o -o prog\r\n]", "coff2exe prog"}},
      {{"-O2", "prog.exe", "a.o"}, kFullChain, "strip=1,coff2exe=2,rm=1", 0, plain},
      {{"-O2", "prog.exe", "a.o"}, kFullChain, "gcc=3", 3, {plain[0]}},
      {{"-O2", "prog.exe", "a.o"}, {"strip", "coff2exe", "rm"}, "", 255, {}},
#ifndef _WIN32  // Windows finds these names itself, under the name given
      // Names written for DOS, found as DOS would: gcc gets the path found.
      {{"prog.exe", "@D.RSP", "LibM.a"},
       kFullChain,
       "",
       0,
       {"gcc @[-g3 ../lib/libm.a ../lib/libm.a -o prog\r\n]", "coff2exe prog"}},
#endif
  };
  for (const auto& c : cases) {
    tool_site setup(c.installed);
    write_file(setup / "d.rsp", "-g3\r\n");
    make_dos_tree(setup.dir.path);
    setup.options.env.push_back({"LIB", "..\\LIB"});
    setup.options.env.push_back({"FAKE_TOOL_EXIT", c.exits});
    run_result result = setup.run("coffdrv", c.args);
    EXPECT_EQ(result.status, c.status) << c.exits;
    EXPECT_EQ(result.out + result.err, "");
    EXPECT_EQ(summary(setup.log), c.ran) << c.exits;
    EXPECT_EQ(setup.left(), std::vector<std::string>{"d.rsp"}) << "temporary file left";
  }
}

TEST(CoffdrvRun, FailuresBeforeTheLinkStartNoTool) {
  tool_site setup(kFullChain);
  run_result result = setup.run("coffdrv", {});
  EXPECT_EQ(result.status, 255);
  EXPECT_EQ(result.err, "Usage: coffdrv [options] <mainfile>.exe [objects/libs | @<rspfile>]\r\n");
  EXPECT_TRUE(setup.left().empty());

  result = setup.run("coffdrv", {"-O2", "ab", "a.o"});
  EXPECT_EQ(result.status, 255);
  EXPECT_EQ(result.err, "Expecting name of .exe file!\r\n");

  // The temporary file stays with what was collected up to the failure.
  for (const std::string& name : setup.left()) unlink((setup.work + "/" + name).c_str());

  result = setup.run("coffdrv", {"-O2", "prog.exe", "a.o", "@nope.rsp", "b.o"});
  EXPECT_EQ(result.status, 255);
  EXPECT_EQ(result.out, "Unable to open response file @nope.rsp!\r\n");
  std::vector<std::string> left = setup.left();
  ASSERT_EQ(left.size(), 1u);
  EXPECT_EQ(read_file(setup.work + "/" + left[0]), "-O2 a.o ");
#ifndef _WIN32
  // Tools running as another user may read it: the usual permissions, not
  // those of a private temporary file.
  struct stat st;
  ASSERT_EQ(stat((setup.work + "/" + left[0]).c_str(), &st), 0);
  const mode_t mask = umask(0);
  umask(mask);
  EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);
#endif
  unlink((setup.work + "/" + left[0]).c_str());

  // gcc would read a line feed as the end of a word, and the rest as an
  // option: refused, and nothing is left.
  result = setup.run("coffdrv", {"p.exe", "x.o\n-dumpversion"});
  EXPECT_EQ(result.status, 255);
  EXPECT_EQ(result.out, "Unable to pass a line break to gcc!\r\n");
  EXPECT_TRUE(setup.left().empty());
  EXPECT_TRUE(summary(setup.log).empty());

#ifndef _WIN32  // needs a file size limit, and a folder nothing can be made in
  setup.options.file_size_limit = 64;
  result = setup.run("coffdrv", {"prog.exe", std::string(100, 'o') + ".o"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "Unable to write temporary file!\r\n");
  EXPECT_TRUE(setup.left().empty());
  EXPECT_TRUE(summary(setup.log).empty());

  setup.options.file_size_limit = -1;
  if (!refuse_new_files(setup.work, &setup.options.wrapper))
    GTEST_SKIP() << "root can have no user namespace here (unshare --user)";
  result = setup.run("coffdrv", {"prog.exe", "a.o"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "Unable to open temporary file!\r\n");
  EXPECT_TRUE(summary(setup.log).empty());
  chmod(setup.work.c_str(), 0755);
#endif
}

#ifndef _WIN32  // the slow gcc is a shell script
TEST(CoffdrvRun, ParallelRunsInOneDirectoryUseTheirOwnFiles) {
  // gcc dawdles, so that the runs overlap while their files exist.
  tool_site setup({"strip", "coff2exe", "rm"});
  make_dir(setup.dir / "real");
  install_fake_tool(setup.dir / "real", "gcc");
  write_file(setup.dir / "tools/gcc", "#!/bin/sh\nPATH=/usr/bin:/bin sleep 0.3 || exit 99\nexec " +
                                          setup.dir / "real/gcc \"$@\"\n");
  ASSERT_EQ(chmod((setup.dir / "tools/gcc").c_str(), 0755), 0);
  std::vector<std::thread> threads;
  std::vector<int> statuses(8);
  for (std::size_t i = 0; i < statuses.size(); ++i) {
    threads.emplace_back([&, i] {
      run_options options = setup.options;
      options.env[1].second = setup.dir / ("log" + std::to_string(i));
      const std::string n = std::to_string(i);
      statuses[i] =
          run_program(kit_program("coffdrv"), {"p" + n + ".exe", n + ".o"}, options).status;
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (std::size_t i = 0; i < statuses.size(); ++i) {
    const std::string n = std::to_string(i);
    EXPECT_EQ(statuses[i], 0);
    EXPECT_EQ(summary(setup.dir / ("log" + n)),
              (std::vector<std::string>{"gcc @[" + n + ".o -o p" + n + "\r\n]", "strip p" + n,
                                        "coff2exe p" + n, "rm p" + n}));
  }
  EXPECT_TRUE(setup.left().empty());
}
#endif

#ifndef _WIN32  // a POSIX shell and tool chain
// The real gcc, ar, strip and rm, with the project's stand-in as coff2exe.
TEST(CoffdrvRealGcc, LinksAndRunsAProgram) {
  // coffdrv starts strip from PATH; the others come with the compiler.
  const optional_tool strip = configured_tool("strip");
  if (strip.path.empty()) GTEST_SKIP() << strip.skip_reason;
  for (const bool debug : {false, true}) {
    tool_site site;
    make_dir(site.dir / "lib");
    write_file(site / "main.c",
               "#include <stdio.h>\nint greet(void);\nint twice(int);\n"
               "int main(void) { printf(\"greet %d\\n\", twice(greet())); return 0; }\n");
    write_file(site / "twice.c", "int twice(int n) { return 2 * n; }\n");
    write_file(site / "greet.c", "int greet(void) { return 21; }\n");
    write_file(site / "more.rsp", "@x'y.o\r\nlibgreet.a\r\n");
    // What gcc would read as options, were the name above given as it is.
    write_file(site / "x'y.o", "-dumpversion\n");
    // Objects whose names gcc would split, unquote or read as a file of words.
    const std::string build = "cd '" + site.work + "' && gcc -c main.c twice.c greet.c && " +
                              "mv main.o 'a b.o' && mv twice.o \"@x'y.o\" && " +
                              "ar rcs ../lib/libgreet.a greet.o && rm greet.o greet.c";
    ASSERT_EQ(std::system(build.c_str()), 0);
    ASSERT_EQ(
        symlink(kit_program("coff2exe_standin").c_str(), (site.dir / "tools/coff2exe").c_str()), 0);
    site.options.env = {{"PATH", site.dir / "tools" + ":" + std::getenv("PATH")},
                        {"LIB", ";;" + site.dir / "lib" + ";"}};
    run_result link =
        site.run("coffdrv", {debug ? "-g" : "-O2", "hello.exe", "a b.o", "@more.rsp"});
    ASSERT_EQ(link.status, 0) << link.out << link.err;
    EXPECT_EQ(run_program(site / "hello.exe", {}).out, "greet 42\n");
    const std::string symbols = "nm '" + site / "hello.exe' 2>/dev/null | grep -q twice";
    EXPECT_EQ(std::system(symbols.c_str()) == 0, debug) << "strip before coff2exe";
    // The image stays for a debug build only; the temporary file never.
    std::vector<std::string> left = {"@x'y.o",   "a b.o",   "hello.exe", "main.c",
                                     "more.rsp", "twice.c", "x'y.o"};
    if (debug) left.insert(left.begin() + 2, "hello");
    EXPECT_EQ(site.left(), left);
  }
}
#endif

}  // namespace
