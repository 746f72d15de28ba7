// bindrun on odd and hostile input: binary bytes, huge lines, a FIFO, names
// that need quoting in a shell, an empty PATH.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/e2e_support.h"

namespace {

using namespace std::string_literals;

struct bind_site {
  scratch_dir dir;
  std::string work = dir / "work", log = dir / "tools.log";
  run_options options;
  bind_site() {
    make_dir(dir / "tools");
    make_dir(work);
    for (const char* name : {"ilink", "wbind", "rc"}) install_fake_tool(dir / "tools", name);
    options.cwd = work;
    options.env = {{"PATH", dir / "tools"}, {"FAKE_TOOL_LOG", log}};
  }
  run_result run(const std::vector<std::string>& args) {
    return run_program(kit_program("bindrun"), args, options);
  }
  std::vector<std::vector<std::string>> argvs() const {
    std::vector<std::vector<std::string>> all;
    for (const tool_run& run : read_tool_log(log)) all.push_back(run.argv);
    return all;
  }
};

TEST(BindrunHostile, AFifoResponseFileIsNeitherReplacedNorLinked) {
  bind_site site;
  fifo_feeder feeder(site.work + "/a.rsp", "a.obj\nr.res\n");
  run_result result = site.run({"ilink", "wbind", "a", "a.rsp"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "Unable to update response file!\r\n");
  struct stat st;
  ASSERT_EQ(lstat((site.work + "/a.rsp").c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
  EXPECT_TRUE(site.argvs().empty());
}

TEST(BindrunHostile, BinaryBytesAndHugeLinesSurviveTheRewrite) {
  bind_site site;
  const std::string rsp = site.work + "/a.rsp";
  write_file(rsp, "a\0+\r\n\xff\x80.res\r\n\x1a"s);
  ASSERT_EQ(site.run({"ilink", "rc", "x.dll", "a.rsp"}).status, 0);
  EXPECT_EQ(read_file(rsp), "a\0\r\n"s);
  EXPECT_EQ(site.argvs().back(), (std::vector<std::string>{"rc", "\xff\x80.res", "x.dll"}));

  // A line of two megabytes is 1025 reads: more than a response file may
  // hold.  One of a megabyte (513 reads) is written back whole.
  const std::string big(1 << 20, 'b');
  write_file(rsp, big + big + "\r\n");
  run_result result = site.run({"ilink", "rc", "x.dll", "a.rsp"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "Too many lines in input file!\r\n");
  EXPECT_EQ(read_file(rsp), big + big + "\r\n");
  write_file(rsp, big + "\r\nr.res\r\n");
  EXPECT_EQ(site.run({"ilink", "rc", "x.dll", "a.rsp"}).status, 0);
  EXPECT_EQ(read_file(rsp), big + "\r\n");
}

TEST(BindrunHostile, OddNamesPassAsSingleArgumentsAndAnEmptyPathRunsNothing) {
  bind_site site;
  const std::string rsp =
                        "my \"odd\" \xc3\xb1"
                        "ame.rsp",
                    exe = "out dir/it's \"me\".dll";
  write_file(site.work + "/" + rsp, "a.obj\r\nmy res.res\r\n");
  ASSERT_EQ(site.run({"ilink", "wbind", exe, rsp}).status, 0);
  const std::string bound = "out dir/it's \"me\".exe";
  EXPECT_EQ(site.argvs(), (std::vector<std::vector<std::string>>{
                              {"ilink", "/nofree", "/nol", "@" + rsp},
                              {"wbind", bound, "-q", "-R", "-q", "res.res", bound}}));

  site.options.env[0].second = "";
  EXPECT_EQ(site.run({"ilink", "wbind", exe, rsp}).status, 255);
  EXPECT_EQ(site.argvs().size(), 2u);
}

}  // namespace
