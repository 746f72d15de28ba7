#include "common/ext_token.h"

#include <gtest/gtest.h>

namespace {

struct match {
  bool found;
  std::string name;
  std::size_t length;
};

match find(std::string_view text, std::size_t position, std::string_view ext) {
  match m{false, "untouched", 99};
  m.found = find_ext_token(text, position, ext, &m.name, &m.length);
  return m;
}

TEST(FindExtToken, CopiesUpToAndIncludingTheFirstMatch) {
  match m = find("app.resource.res x", 0, ".res");
  EXPECT_TRUE(m.found);
  EXPECT_EQ("app.res", m.name);
  EXPECT_EQ(7u, m.length);

  m = find("main.obj obj/app.res\n", 9, ".res");
  EXPECT_TRUE(m.found);
  EXPECT_EQ("obj/app.res", m.name);
}

TEST(FindExtToken, StretchEndsAtSpaceCommaAndLineFeedOnly) {
  EXPECT_FALSE(find("app x.res", 0, ".res").found);
  EXPECT_FALSE(find("app,x.res", 0, ".res").found);
  EXPECT_FALSE(find("app\nx.res", 0, ".res").found);
  EXPECT_EQ("a\tb+c/app.res", find("a\tb+c/app.res,", 0, ".res").name);
  std::string with_zero("a\0b.res", 7);
  EXPECT_EQ(with_zero, find(with_zero, 0, ".res").name);
}

TEST(FindExtToken, IsCaseSensitiveAndChangesNothingWithoutMatch) {
  match m = find("APP.RES app.Res", 0, ".res");
  EXPECT_FALSE(m.found);
  EXPECT_EQ("untouched", m.name);
  EXPECT_EQ(99u, m.length);
  EXPECT_FALSE(find("app.re", 0, ".res").found);
}

TEST(FindExtToken, FalseAtOnceAtASeparatorOrTheEnd) {
  EXPECT_FALSE(find(" app.res", 0, ".res").found);
  EXPECT_FALSE(find(",app.res", 0, ".res").found);
  EXPECT_FALSE(find("app.res", 7, ".res").found);
  EXPECT_FALSE(find("", 0, ".res").found);
}

}  // namespace
