#include "coffdrv/coffdrv.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "tests/e2e_support.h"

namespace {

struct collected {
  link_plan plan;
  std::string text;  // the response file as written from the plan
};

collected collect(const std::vector<std::string>& args, const char* lib = nullptr) {
  std::vector<std::string> argv = {"coffdrv"};
  argv.insert(argv.end(), args.begin(), args.end());
  collected c;
  c.plan = collect_arguments(argv, split_lib_path(lib));
  c.text = response_file_text(c.plan);
  return c;
}

TEST(CoffdrvCollect, MainNameGivesBaseName) {
  const std::string long_name(60, 'n');
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"prog.exe", "prog"}, {"prog.EXE", "prog"},
      {"prog.com", "prog"}, {"a.out.exe", "a.out"},
      {"prog", "prog"},     {"prog.ex", "prog.ex"},
      {"abc", "abc"},       {".exe", ""},
      {"@x.rsp", "@x"},     {long_name + ".exe", long_name}};
  for (const auto& [main_name, base] : cases) {
    collected c = collect({main_name});
    EXPECT_EQ(c.plan.status, collect_status::ok) << main_name;
    EXPECT_EQ(c.plan.base_name, base) << main_name;
    // gcc would read a word that begins with "@" as a file of words.
    EXPECT_EQ(c.text, "-o " + (base[0] == '@' ? "./" + base : base) + "\n") << main_name;
  }
  for (const auto& args : std::vector<std::vector<std::string>>{{"ab"}, {"-O2", ""}}) {
    EXPECT_EQ(collect(args).plan.status, collect_status::short_main_name);
  }
}

TEST(CoffdrvCollect, ItemsAreWrittenAsGccReadsThem) {
  EXPECT_EQ(
      collect({"-DS=\"a b\"", "my prog.exe", "a b.o", "x'y.o", "obj\\app.o", "v\t\v\f.o"}).text,
      "-DS=\\\"a\\ b\\\" a\\ b.o x\\'y.o obj\\\\app.o v\\\t\\\v\\\f.o -o my\\ prog\n");
  // A line break cannot reach gcc within a word: such an item is refused.
  std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"p.exe", "x.o\n-dumpversion"}, ""}, {{"p.exe", "x\r.o"}, ""}, {{"a\nb.exe"}, ""}};
#ifndef _WIN32  // a folder of LIB whose name holds one
  scratch_dir dir;
  make_dir(dir / "L\nB");
  write_file(dir / "L\nB/libq.a", "");
  cases.push_back({{"p.exe", "libq.a"}, dir / "L\nB"});
#endif
  for (const auto& [args, lib] : cases) {
    EXPECT_EQ(collect(args, lib.c_str()).plan.status, collect_status::line_break) << args.back();
  }
}

TEST(CoffdrvCollect, PhasesLibrariesAndDebugFlag) {
  scratch_dir dir;
  make_dir(dir / "D1");
  make_dir(dir / "D2");
  write_file(dir / "D2/libm.a", "");
  write_file(dir / "D1/libx.a", "");
  write_file(dir / "D2/libx.a", "");
#ifdef _WIN32
  make_dir(dir / "D2/liby.a");  // any entry counts
#else
  ASSERT_EQ(symlink("nowhere", (dir / "D2/liby.a").c_str()), 0);  // a dangling link too
  // DOS would take it first, but libm.a is found as written, as before.
  write_file(dir / "D1/LibM.a", "");
#endif
  const std::string lib = ";;" + dir.path + "/D1;" + dir.path + "/D2;";
  const std::string d1 = dir.path + "/D1/", d2 = dir.path + "/D2/";

  // An option ending in ".a" is a library only after the main name.
  collected c = collect({"-O2", "-Lz.a", "prog.exe", "a.o", "libm.a", "-lpc", "libx.a", "liby.a",
                         "libq.a", "x.A", "libm.a", "%s.o", "-Lz.a"},
                        lib.c_str());
  std::string section =
      d2 + "libm.a " + d1 + "libx.a " + d2 + "liby.a libq.a " + d2 + "libm.a -Lz.a ";
  // gcc reads a backslash (of a Windows folder) from behind a backslash.
  for (std::size_t at = 0; (at = section.find('\\', at)) != std::string::npos; at += 2)
    section.insert(at, 1, '\\');
  EXPECT_EQ(c.text, "-O2 -Lz.a a.o -lpc x.A %s.o " + section + section + "-o prog\n");
  EXPECT_EQ(split_lib_path(lib.c_str()),
            (std::vector<std::string>{dir.path + "/D1", dir.path + "/D2"}));

  EXPECT_EQ(collect({"p.exe", "libm.a"}).plan.libraries, std::vector<std::string>{"libm.a"});
  EXPECT_EQ(collect({"p.exe", "libm.a"}, "").plan.libraries, std::vector<std::string>{"libm.a"});
  // A separator at the end of a directory still gets its "/".
  EXPECT_EQ(collect({"p.exe", "libm.a"}, d2.c_str()).plan.libraries[0], d2 + "/libm.a");

  // The debug option is passed on too; only its first two characters count.
  EXPECT_EQ(collect({"-g", "p.exe"}).text, "-g -o p\n");
  const std::vector<std::pair<std::vector<std::string>, bool>> debug_cases = {
      {{"-g", "p.exe"}, true},
      {{"p.exe", "-gstabs+"}, true},
      {{"-G", "p.exe", "-xg", "g.o"}, false}};
  for (const auto& [args, debug] : debug_cases) {
    EXPECT_EQ(collect(args).plan.debug_build, debug) << args[0];
  }
}

TEST(CoffdrvCollect, NoLimitOnLibPathOrLibraryCountAndTheFirstFolderWins) {
  scratch_dir dir;
  const std::string long_dir = dir / std::string(40, 'd');
  std::string lib;
  for (int i = 0; i < 3000; ++i) lib += long_dir + std::to_string(i) + ";";
  for (int i : {1500, 2999}) {
    make_dir(long_dir + std::to_string(i));
    write_file(long_dir + std::to_string(i) + "/libw.a", "");
  }
  std::vector<std::string> args = {"p.exe"};
  for (int i = 0; i < 60; ++i) args.push_back(i % 2 ? "libw.a" : "libv.a");
  collected c = collect(args, lib.c_str());
  ASSERT_EQ(c.plan.libraries.size(), 60u);
  EXPECT_EQ(c.plan.libraries[58], "libv.a");
  EXPECT_EQ(c.plan.libraries[59], long_dir + "1500/libw.a");
}

TEST(CoffdrvResponseFile, WordsSplitAtWhiteSpaceNeverMidWord) {
  scratch_dir dir;
  const std::string filler(4090, 'f');
  write_file(dir / "a.rsp",
             "a.o  b.o\tlibm.a\r\n -gdwarf @y \r\n\r\nlast.o\x0blibz.a\r\nab\x1a"
             "cd\n" +
                 filler + " straddle.o\n");
  collected c = collect({"prog.exe", "@" + dir / "a.rsp", "z.o"});
  EXPECT_EQ(c.plan.status, collect_status::ok);
  EXPECT_TRUE(c.plan.debug_build);
  EXPECT_EQ(c.text, "a.o b.o -gdwarf ./@y last.o ab cd " + filler +
                        " straddle.o z.o libm.a libz.a libm.a libz.a -o prog\n");
}

TEST(CoffdrvResponseFile, UnusableFileStopsCollection) {
  scratch_dir dir;
  // A read error is tested on the built program (coffdrv_hostile_posix_test.cpp).
  const std::string name = dir / "missing.rsp";
  collected c = collect({"prog.exe", "a.o", "@" + name, "b.o"});
  EXPECT_EQ(c.plan.status, collect_status::response_file_not_opened);
  EXPECT_EQ(c.plan.failed_argument, "@" + name);
  EXPECT_EQ(c.text, "a.o ");
}

}  // namespace
