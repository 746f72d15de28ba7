// Inputs that the rewrite fuzz target found faults with.
#include <gtest/gtest.h>

#include "tlfix/tlfix.h"

namespace {

// A failed look for ".def" at a separator must not skip the token after it.
TEST(TlfixFuzzRegression, TheTokenAfterACutResourceNameIsStillLookedAt) {
  const tlfix_rewrite rewrite = rewrite_for_tlink({"app.resource x.def y.def"});
  EXPECT_EQ(rewrite.text, "ource x.def y.def\napp.res");
  EXPECT_TRUE(rewrite.def_found);
  EXPECT_EQ(rewrite.def_name, "x.def");
  EXPECT_EQ(rewrite_for_tlink({"a.obj, ,b.def\n"}).def_name, "b.def");
}

}  // namespace
