// bindrun on odd and hostile input: binary bytes, and names that need
// quoting in a shell.
#include <gtest/gtest.h>

#include "tests/e2e_support.h"

namespace {

using namespace std::string_literals;

TEST(BindrunHostile, BinaryBytesAndOddNamesPassWhole) {
  const std::string odd =
                        "my \"odd\" \xc3\xb1"
                        "ame.rsp",
                    exe = "out dir/it's \"me\".dll";
  const std::string bound = "out dir/it's \"me\".exe";
  const struct {
    std::string rc, exe, rsp, before, after;
    std::vector<std::vector<std::string>> started;
  } cases[] = {
      {"rc",
       "x.dll",
       "a.rsp",
       "a\0+\r\n\xff\x80.res\r\n\x1a"s,
       "a\0\r\n"s,
       {{"ilink", "/nofree", "/nol", "@a.rsp"}, {"rc", "\xff\x80.res", "x.dll"}}},
      {"wbind",
       exe,
       odd,
       "a.obj\r\nmy res.res\r\n",
       "a.obj\r\nmy \r\n",
       {{"ilink", "/nofree", "/nol", "@" + odd},
        {"wbind", bound, "-q", "-R", "-q", "res.res", bound}}},
  };
  for (const auto& c : cases) {
    tool_site site({"ilink", "wbind", "rc"});
    write_file(site / c.rsp, c.before);
    ASSERT_EQ(site.run("bindrun", {"ilink", c.rc, c.exe, c.rsp}).status, 0) << c.rsp;
    EXPECT_EQ(read_file(site / c.rsp), c.after) << c.rsp;
    std::vector<std::vector<std::string>> started;
    for (const tool_run& run : site.runs()) started.push_back(run.argv);
    EXPECT_EQ(started, c.started) << c.rsp;
  }
}

}  // namespace
