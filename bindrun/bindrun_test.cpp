#include "bindrun/bindrun.h"

#include <gtest/gtest.h>

namespace {

using lines_t = std::vector<std::string>;

TEST(RewriteForBind, TakesOutTheFirstResourceNameWithItsSeparator) {
  const std::string piece(2047, 'x'), rest = std::string(952, 'y') + "+\n";
  const struct {
    const char* link;
    lines_t lines;
    std::string text, res_name;  // text: the whole file afterwards
  } cases[] = {
      {"tlink", {"main.obj, r.res, util.obj\n"}, "main.obj, util.obj\n", "r.res"},
      {"tlink", {"main.obj,r.res\n", "a,,b.res\n"}, "main.obj\na,,b.res\n", "r.res"},
      {"tlink", {"a,,r.res\n"}, "a,\n", "r.res"},
      {"tlink", {"main.obj r.res  util.obj\n"}, "main.obj  util.obj\n", "r.res"},
      {"tlink", {"r.res, util.obj\n"}, ", util.obj\n", "r.res"},
      {"tlink", {"r.res util.obj\n"}, "util.obj\n", "r.res"},
      // A comma that opens the line, or a space alone, stays.
      {"tlink", {",r.res\n", ", r.res\n"}, ",\n, r.res\n", "r.res"},
      {"tlink", {", r.res\n", " r.res\n"}, ", \n r.res\n", "r.res"},
      {"tlink", {"a\n", "r.res\n", "b\n", "r.res"}, "a\nb\nr.res", "r.res"},
      {"tlink", {"r.res \n", "x\n"}, "x\n", "r.res"},
      {"tlink", {"r.res ,\n", "x\n"}, "x\n", "r.res"},
      {"tlink", {"a\n", "r.res"}, "a\n", "r.res"},
      {"tlink", {"main.obj+r.res\n"}, "", "main.obj+r.res"},
      {"tlink", {"\tobj/x.resource.res y\n"}, "ource.res y\n", "\tobj/x.res"},
      {"tlink", {std::string("a\0.res\0\n", 8)}, std::string("\0\n", 2), std::string("a\0.res", 6)},
      {"tlink", {"APP.RES app.Res\n"}, "APP.RES app.Res\n", ""},
      // ilink and wlink lose the continuation mark right before the name.
      {"ilink", {"s+\n", "m+\n", "r.res\n", "x\n"}, "s+\nm\nx\n", "r.res"},
      {"iLINK", {"m+\n", "a r.res\n", "b+\n", "c.res\n"}, "m\na \nb+\nc.res\n", "r.res"},
      {"WLINK", {"file m.obj,\n", "r.res\n"}, "file m.obj\n", "r.res"},
      {"wlink", {"m+\n", "r.res\n"}, "m+\n", "r.res"},
      {"ilink", {"m,\n", "r.res\n"}, "m,\n", "r.res"},
      {"ilink.exe", {"m+\n", "r.res\n"}, "m+\n", "r.res"},
      {"bin/ilink", {"m+\n", "r.res\n"}, "m+\n", "r.res"},
      {"ilink", {"m+ \n", "r.res\n"}, "m+ \n", "r.res"},
      {"ilink", {"a+\n", "\n", "r.res\n"}, "a+\n\n", "r.res"},
      {"ilink", {"r.res\n", "b+\n"}, "b+\n", "r.res"},
      // An entry without a line feed is a piece of a longer line: its last
      // byte is data, not a line end to trade for the '+'.
      {"ilink", {"a.obj+x", "r.res\n"}, "a.obj+x", "r.res"},
      {"ilink", {"a+", "r.res\n"}, "a+", "r.res"},
      {"ilink", {piece, rest, "b.obj\n"}, piece + rest + "b.obj\n", ""},
      {"ilink", {piece, rest, "r.res\n"}, piece + std::string(952, 'y') + "\n", "r.res"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.link + (" " + ::testing::PrintToString(c.lines)).substr(0, 200));
    bind_rewrite rewrite = rewrite_for_bind(c.lines, c.link);
    EXPECT_EQ(response_text(rewrite.lines), c.text);
    EXPECT_EQ(rewrite.res_found, !c.res_name.empty());
    EXPECT_EQ(rewrite.res_name, c.res_name);
  }
}

TEST(BindrunToolRuns, ArgumentVectorsFollowTheToolNames) {
  EXPECT_EQ(linker_arguments({"ILink", "rc", "a", "obj/a.lnk"}),
            (lines_t{"ILink", "/nofree", "/nol", "@obj/a.lnk"}));
  EXPECT_EQ(linker_arguments({"ilink.exe", "rc", "a", "a.lnk"}), (lines_t{"ilink.exe", "@a.lnk"}));

  const struct {
    bind_arguments args;
    bool res_found, status_counts;
    lines_t binder;  // empty: no binder run
  } cases[] = {
      {{"ilink", "wbind", "app.dll", ""},
       true,
       true,
       {"wbind", "app.exe", "-q", "-R", "-q", "r.res", "app.exe"}},
      {{"wlink", "WBind", "o.d/a.x", ""}, false, false, {"WBind", "o.exe", "-n", "-q"}},
      {{"wlink", "wbind", "app", ""}, false, false, {"wbind", "app.exe", "-n", "-q"}},
      {{"WLink", "rc", "app.dll", ""}, true, true, {"rc", "-q", "r.res", "app.dll"}},
      {{"wlink.exe", "rc", "o.d/app", ""}, true, true, {"rc", "r.res", "o.d/app"}},
      {{"wlink", "rc", "app", ""}, false, true, {}},
      {{"ilink", "wbind.exe", "app", ""}, false, true, {}},
  };
  for (const auto& c : cases) {
    binder_run run = plan_binder_run(c.args, c.res_found, "r.res");
    EXPECT_EQ(run.wanted, !c.binder.empty()) << c.args.rc;
    EXPECT_EQ(run.arguments, c.binder);
    EXPECT_EQ(run.status_counts, c.status_counts) << c.args.rc;
  }
}

}  // namespace
