#include "tlfix/tlfix.h"

#include <gtest/gtest.h>

namespace {

struct rewrite_case {
  std::vector<std::string> lines;
  std::string text;
};

TEST(RewriteForTlink, MovesTheFirstResourceNameToTheEnd) {
  const rewrite_case cases[] = {
      {{"main.obj app.res util.obj\n"}, "main.obj util.obj\n\napp.res"},
      {{"main.obj app.res\n"}, "main.obj \n\napp.res"},
      {{"main.obj app.res  util.obj\n"}, "main.obj  util.obj\n\napp.res"},
      {{"main.obj,app.res,util.obj\n"}, "main.obj,,util.obj\n\napp.res"},
      {{"app.res\n"}, "\n\napp.res"},
      {{"a.obj\n", "app.res"}, "a.obj\n\napp.res"},
      {{"app.resource\n"}, "ource\n\napp.res"},
      {{"APP.RES\n"}, "APP.RES\n\n"},
      {{"a.obj\n", "app.res\n"}, "a.obj\n\n\napp.res"},
      {{"a.obj\n", "\n", "\n", "app.res"}, "a.obj\n\n\n\napp.res"},
      {{"x.res y.res\n"}, "y.res\n\nx.res"},
      {{"a\tb.res+c\n"}, "+c\n\na\tb.res"},
      {{std::string("a\0.res x\n", 9)}, std::string("x\n\na\0.res", 9)},
  };
  for (const rewrite_case& c : cases) {
    tlfix_rewrite rewrite = rewrite_for_tlink(c.lines);
    EXPECT_EQ(c.text, rewrite.text) << "first line: " << c.lines[0];
  }
}

TEST(RewriteForTlink, NotesOnlyTheFirstModuleDefinitionName) {
  tlfix_rewrite rewrite = rewrite_for_tlink({"app.res app.def\n"});
  EXPECT_EQ("app.def\n\napp.res", rewrite.text);
  EXPECT_TRUE(rewrite.res_found);
  EXPECT_EQ("app.res", rewrite.res_name);
  EXPECT_TRUE(rewrite.def_found);
  EXPECT_EQ("app.def", rewrite.def_name);

  rewrite = rewrite_for_tlink({"x.def\n", "y.def\n"});
  EXPECT_EQ("x.def", rewrite.def_name);
  EXPECT_FALSE(rewrite.res_found);

  // The name removed with the resource token is no module-definition name.
  rewrite = rewrite_for_tlink({"APP.DEF a.def.res b.def\n"});
  EXPECT_EQ("b.def", rewrite.def_name);
  EXPECT_FALSE(rewrite_for_tlink({"a.obj\n"}).def_found);
}

TEST(RewriteForTlink, LongNamesAreKeptWhole) {
  std::string name = std::string(3000, 'n') + ".res";
  tlfix_rewrite rewrite = rewrite_for_tlink({name.substr(0, 2047), name.substr(2047) + "\n"});
  // Each entry is matched on its own: the name is cut where the read was.
  EXPECT_EQ(name.substr(2047), rewrite.res_name);
  std::string one_line = std::string(300, 'd') + ".def " + name + "\n";
  rewrite = rewrite_for_tlink({one_line});
  EXPECT_EQ(name, rewrite.res_name);
  EXPECT_EQ(std::string(300, 'd') + ".def", rewrite.def_name);
}

}  // namespace
