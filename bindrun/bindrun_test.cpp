#include "bindrun/bindrun.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using lines_t = std::vector<std::string>;

struct rewrite_case {
  std::string link;
  lines_t lines;
  std::string text;      // the whole response file afterwards
  std::string res_name;  // empty: no resource token
};

void expect_rewrites(const std::vector<rewrite_case>& cases) {
  for (const rewrite_case& c : cases) {
    SCOPED_TRACE(c.link + ": " + ::testing::PrintToString(c.lines));
    bind_rewrite rewrite = rewrite_for_bind(c.lines, c.link);
    EXPECT_EQ(response_text(rewrite.lines), c.text);
    EXPECT_EQ(rewrite.res_found, !c.res_name.empty());
    EXPECT_EQ(rewrite.res_name, c.res_name);
  }
}

TEST(RewriteForBind, TakesOutTheResourceNameWithOneSeparator) {
  expect_rewrites({
      {"tlink", {"main.obj, app.res, util.obj\n"}, "main.obj, util.obj\n", "app.res"},
      {"tlink", {"main.obj,app.res\n"}, "main.obj\n", "app.res"},
      {"tlink", {"a,,app.res\n"}, "a,\n", "app.res"},
      {"tlink", {"main.obj app.res util.obj\n"}, "main.obj util.obj\n", "app.res"},
      {"tlink", {"main.obj app.res  util.obj\n"}, "main.obj  util.obj\n", "app.res"},
      {"tlink", {"main.obj app.res\n"}, "main.obj \n", "app.res"},
      {"tlink", {"app.res, util.obj\n"}, ", util.obj\n", "app.res"},
      {"tlink", {"app.res util.obj\n"}, "util.obj\n", "app.res"},
      // A comma that opens the line, and a lone space, are not separators
      // that belong to the name.
      {"tlink", {",app.res\n"}, ",\n", "app.res"},
      {"tlink", {", app.res\n"}, ", \n", "app.res"},
      {"tlink", {" app.res\n"}, " \n", "app.res"},
  });
}

TEST(RewriteForBind, DropsALineThatHeldOnlyTheName) {
  expect_rewrites({
      {"tlink", {"a.obj\n", "app.res\n", "b.obj\n"}, "a.obj\nb.obj\n", "app.res"},
      {"tlink", {"a.obj\n", "app.res \n"}, "a.obj\n", "app.res"},
      {"tlink", {"a.obj\n", "app.res,\n"}, "a.obj\n", "app.res"},
      {"tlink", {"a.obj\n", "app.res ,\n"}, "a.obj\n", "app.res"},
      {"tlink", {"a.obj\n", "app.res"}, "a.obj\n", "app.res"},
      {"tlink", {"app.res,,\n"}, ",,\n", "app.res"},
  });
}

TEST(RewriteForBind, NameIsTheTokenUpToItsFirstResExtension) {
  expect_rewrites({
      {"tlink", {"obj/app.res\n"}, "", "obj/app.res"},
      {"tlink", {"main.obj+app.res\n"}, "", "main.obj+app.res"},
      {"tlink", {"\tapp.res\n"}, "", "\tapp.res"},
      {"tlink", {"app.resource\n"}, "ource\n", "app.res"},
      {"tlink", {"x.res.res y\n"}, ".res y\n", "x.res"},
      {"tlink", {std::string("app.res\0.obj\n", 13)}, std::string("\0.obj\n", 6), "app.res"},
      {"tlink", {std::string("a\0b.res c\n", 10)}, "c\n", std::string("a\0b.res", 7)},
  });
}

TEST(RewriteForBind, OnlyTheFirstExactResourceTokenCounts) {
  expect_rewrites({
      {"tlink", {"a.res b.res\n"}, "b.res\n", "a.res"},
      {"tlink", {"a.obj\n", "a.res\n", "b.res\n"}, "a.obj\nb.res\n", "a.res"},
      {"tlink", {"APP.RES app.Res\n", "x.obj\n"}, "APP.RES app.Res\nx.obj\n", ""},
      {"tlink", {}, "", ""},
  });
}

TEST(RewriteForBind, RepairsTheContinuationBeforeTheNameForIlinkAndWlink) {
  expect_rewrites({
      {"ilink",
       {"start.obj+\n", "main.obj+\n", "app.res\n", "app.exe\n"},
       "start.obj+\nmain.obj\napp.exe\n",
       "app.res"},
      {"ILINK", {"main.obj+\n", "app.res\n"}, "main.obj\n", "app.res"},
      {"iLink", {"main.obj+\n", "app.res\n"}, "main.obj\n", "app.res"},
      {"WLINK", {"file main.obj,\n", "app.res\n"}, "file main.obj\n", "app.res"},
      {"wlink", {"+\n", "app.res\n"}, "+\n", "app.res"},
      // The repair looks only at the line right before, and only once.
      {"ilink", {"a+\n", "b\n", "app.res\n"}, "a+\nb\n", "app.res"},
      {"ilink", {"a+\n", "app.res\n", "b+\n", "c.res\n"}, "a\nb+\nc.res\n", "app.res"},
      {"ilink", {"app.res\n", "b+\n"}, "b+\n", "app.res"},
      {"ilink", {"a+\n", "b app.res\n"}, "a\nb \n", "app.res"},
  });
}

TEST(RewriteForBind, LeavesThePreviousLineAloneOtherwise) {
  expect_rewrites({
      {"tlink", {"main.obj+\n", "app.res\n"}, "main.obj+\n", "app.res"},
      {"tlink", {"main.obj,\n", "app.res\n"}, "main.obj,\n", "app.res"},
      {"ilink", {"main.obj,\n", "app.res\n"}, "main.obj,\n", "app.res"},
      {"wlink", {"main.obj+\n", "app.res\n"}, "main.obj+\n", "app.res"},
      {"ilink.exe", {"main.obj+\n", "app.res\n"}, "main.obj+\n", "app.res"},
      {"bin/ilink", {"main.obj+\n", "app.res\n"}, "main.obj+\n", "app.res"},
      {"ilink", {"main.obj+ \n", "app.res\n"}, "main.obj+ \n", "app.res"},
      {"ilink", {"\n", "app.res\n"}, "\n", "app.res"},
      // An entry without a line feed is a piece of a longer line: its last
      // byte is data, not a line end to give up for the '+'.
      {"ilink", {"a.obj+x", "app.res\n"}, "a.obj+x", "app.res"},
  });
}

TEST(RewriteForBind, PiecesOfALongLineAreWrittenBackWhole) {
  const std::string first(2047, 'x');
  const std::string second = std::string(952, 'y') + "+\n";
  bind_rewrite kept = rewrite_for_bind({first, second, "b.obj\n"}, "ilink");
  EXPECT_EQ(response_text(kept.lines), first + second + "b.obj\n");
  EXPECT_FALSE(kept.res_found);

  bind_rewrite repaired = rewrite_for_bind({first, second, "app.res\n"}, "ilink");
  EXPECT_EQ(response_text(repaired.lines), first + std::string(952, 'y') + "\n");
}

TEST(SameToolName, FoldsOnlyAsciiLettersOverTheWholeName) {
  struct {
    const char* a;
    const char* b;
    bool same;
  } cases[] = {
      {"ILINK", "ilink", true},
      {"iLinK", "ilink", true},
      {"ilink", "ilink", true},
      {"ilink.exe", "ilink", false},
      {"ilin", "ilink", false},
      {"/bin/ilink", "ilink", false},
      {"ilink ", "ilink", false},
      {"ilink[", "ilink{", false},
      {"ilink@", "ilink`", false},
      {"\xC9LINK", "\xE9link", false},
      {"", "", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(same_tool_name(c.a, c.b), c.same) << c.a << " vs " << c.b;
  }
}

TEST(LinkerArguments, IlinkGetsItsOwnOptionsAndTheResponseFileAsTyped) {
  const bind_arguments ilink{"ILink", "wbind", "app.exe", "obj/app.lnk"};
  EXPECT_EQ(linker_arguments(ilink), (lines_t{"ILink", "/nofree", "/nol", "@obj/app.lnk"}));
  for (const char* plain : {"ilink.exe", "tools/ilink", "wlink", "tlink"}) {
    const bind_arguments args{plain, "rc", "app.exe", "../app.rsp"};
    EXPECT_EQ(linker_arguments(args), (lines_t{plain, "@../app.rsp"}));
  }
}

TEST(BindExeName, CutsAtTheFirstDotAnywhere) {
  const std::pair<std::string, std::string> cases[] = {
      {"app", "app.exe"},         {"app.dll", "app.exe"},         {"app.exe", "app.exe"},
      {"a.b.c", "a.exe"},         {"out.dir/app.exe", "out.exe"}, {"", ".exe"},
      {"out/app", "out/app.exe"},
  };
  for (const auto& c : cases) EXPECT_EQ(bind_exe_name(c.first), c.second) << c.first;
}

TEST(PlanBinderRun, ChoosesTheFormByBinderLinkerAndResource) {
  struct {
    bind_arguments args;
    bool res_found;
    bool wanted;
    lines_t arguments;
    bool status_counts;
  } cases[] = {
      {{"ilink", "wbind", "app.dll", "a.rsp"},
       true,
       true,
       {"wbind", "app.exe", "-q", "-R", "-q", "app.res", "app.exe"},
       true},
      {{"wlink", "WBind", "out.dir/app", "a.rsp"},
       false,
       true,
       {"WBind", "out.exe", "-n", "-q"},
       false},
      {{"WLink", "rc", "app.dll", "a.rsp"}, true, true, {"rc", "-q", "app.res", "app.dll"}, true},
      {{"ilink", "rc", "out.dir/app", "a.rsp"}, true, true, {"rc", "app.res", "out.dir/app"}, true},
      {{"wlink.exe", "brc", "app", "a.rsp"}, true, true, {"brc", "app.res", "app"}, true},
      {{"wlink", "rc", "app", "a.rsp"}, false, false, {}, true},
      {{"ilink", "wbind.exe", "app", "a.rsp"}, false, false, {}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.link + " " + c.args.rc + " " + c.args.exe_file);
    binder_run run = plan_binder_run(c.args, c.res_found, "app.res");
    EXPECT_EQ(run.wanted, c.wanted);
    EXPECT_EQ(run.arguments, c.arguments);
    EXPECT_EQ(run.status_counts, c.status_counts);
  }
}

}  // namespace
