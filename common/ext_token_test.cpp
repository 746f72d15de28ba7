#include "common/ext_token.h"

#include <gtest/gtest.h>

namespace {

// Where the first token holding ".res" starts in the entries, and the name
// taken from it: "entry:position:name", or "none".
std::string first_res(const std::vector<std::string>& entries) {
  const ext_token_place place = first_ext_token(entries, ".res");
  if (!place.found) return "none";
  return std::to_string(place.entry) + ":" + std::to_string(place.position) + ":" +
         entries[place.entry].substr(place.position, place.length);
}

TEST(FirstExtToken, TakesTheFirstTokenUpToAndIncludingItsFirstMatch) {
  using namespace std::string_literals;
  const struct {
    std::vector<std::string> entries;
    std::string found;
  } cases[] = {
      {{"app.resource.res x"}, "0:0:app.res"},
      {{"main.obj obj/app.res\n"}, "0:9:obj/app.res"},
      // Only space, comma and line feed end a token.
      {{"app x.res"}, "0:4:x.res"},
      {{"app,x.res"}, "0:4:x.res"},
      {{"app\nx.res"}, "0:4:x.res"},
      {{"a\tb+c/app.res,"}, "0:0:a\tb+c/app.res"},
      {{"a\0b.res"s}, "0:0:a\0b.res"s},
      {{" app.res"}, "0:1:app.res"},
      {{",app.res"}, "0:1:app.res"},
      // Case counts, and the entries are taken in order.
      {{"APP.RES app.Res", "app.re", "", "b.obj a.res"}, "3:6:a.res"},
      {{"APP.RES"}, "none"},
  };
  for (const auto& c : cases) EXPECT_EQ(first_res(c.entries), c.found) << c.entries[0];
}

}  // namespace
