// Runs the built bindrun with fake linkers and binders on a scratch PATH.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "tests/e2e_support.h"

namespace {

using argv_t = std::vector<std::string>;

const char kUsage[] = "Usage: bindrun <link> <rc> <exe_file> <link_rsp_file>\r\n";

// A scratch folder with a tools folder as the whole PATH.
struct bind_site {
  scratch_dir dir;
  std::string tools = dir / "tools";
  std::string log = dir / "tools.log";

  explicit bind_site(std::initializer_list<const char*> tool_names) {
    make_dir(tools);
    for (const char* name : tool_names) install_fake_tool(tools, name);
  }

  run_result run(const argv_t& args, const std::string& exits = "",
                 long long file_size_limit = -1) const {
    run_options options;
    options.cwd = dir.path;
    options.env = {{"PATH", tools}, {"FAKE_TOOL_LOG", log}, {"FAKE_TOOL_EXIT", exits}};
    options.file_size_limit = file_size_limit;
    return run_program(kit_program("bindrun"), args, options);
  }

  std::vector<argv_t> started() const {
    std::vector<argv_t> runs;
    for (const tool_run& run : read_tool_log(log)) runs.push_back(run.argv);
    return runs;
  }
};

std::string numbered_lines(int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += "m" + std::to_string(i) + ".obj\r\n";
  return text;
}

TEST(BindrunE2e, LinksAndBindsWithTheRewrittenResponseFile) {
  bind_site site({"ilink", "wbind"});
  make_dir(site.dir / "obj");
  // Bare line feeds and CR LF alike come back as CR LF.
  write_file(site.dir / "obj/app.lnk", "start.obj+\r\nmain.obj+\napp.res\r\napp.exe\r\n");
  run_result result = site.run({"ilink", "wbind", "app.dll", "obj/app.lnk"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "");

  const std::string rewritten = "start.obj+\r\nmain.obj\r\napp.exe\r\n";
  EXPECT_EQ(read_file(site.dir / "obj/app.lnk"), rewritten);
  std::vector<tool_run> runs = read_tool_log(site.log);
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs[0].argv, (argv_t{"ilink", "/nofree", "/nol", "@obj/app.lnk"}));
  EXPECT_EQ(runs[0].cwd, site.dir.path);
  ASSERT_EQ(runs[0].files.size(), 1u);
  EXPECT_EQ(runs[0].files[0].second, rewritten);
  EXPECT_EQ(runs[1].argv, (argv_t{"wbind", "app.exe", "-q", "-R", "-q", "app.res", "app.exe"}));
}

TEST(BindrunE2e, ExitStatusAndBinderRunFollowTheTools) {
  struct {
    const char* link;
    const char* rc;
    const char* rsp;
    const char* exits;
    int status;
    std::vector<argv_t> started;
  } cases[] = {
      // A failing linker, or one that cannot be started, starts no binder.
      {"tlink", "wbind", "a.obj app.res\n", "tlink=2", 2, {{"tlink", "@app.rsp"}}},
      {"nolinker", "wbind", "a.obj app.res\n", "", 255, {}},
      {"tlink",
       "wbind",
       "a.obj app.res\n",
       "wbind=3",
       3,
       {{"tlink", "@app.rsp"}, {"wbind", "app.exe", "-q", "-R", "-q", "app.res", "app.exe"}}},
      // Without resources wbind's failure does not fail the build.
      {"tlink",
       "wbind",
       "a.obj\n",
       "wbind=5",
       0,
       {{"tlink", "@app.rsp"}, {"wbind", "app.exe", "-n", "-q"}}},
      {"tlink", "rc", "a.obj\n", "rc=4", 0, {{"tlink", "@app.rsp"}}},
      {"tlink",
       "rc",
       "a.obj app.res\n",
       "rc=4",
       4,
       {{"tlink", "@app.rsp"}, {"rc", "app.res", "app.exe"}}},
      {"wlink",
       "rc",
       "file a.obj,\napp.res\n",
       "",
       0,
       {{"wlink", "@app.rsp"}, {"rc", "-q", "app.res", "app.exe"}}},
      {"tlink", "norc", "a.obj app.res\n", "", 255, {{"tlink", "@app.rsp"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.link) + " " + c.rc + " " + c.exits);
    bind_site site({"tlink", "wlink", "wbind", "rc"});
    write_file(site.dir / "app.rsp", c.rsp);
    run_result result = site.run({c.link, c.rc, "app.exe", "app.rsp"}, c.exits);
    EXPECT_EQ(result.status, c.status);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(site.started(), c.started);
  }
}

TEST(BindrunE2e, WrongArgumentCountTouchesNothing) {
  bind_site site({"ilink", "wbind"});
  const std::string original = "a.obj app.res\n";
  write_file(site.dir / "app.rsp", original);
  const argv_t counts[] = {
      {}, {"ilink", "wbind", "app.rsp"}, {"ilink", "wbind", "app.exe", "app.rsp", "app.rsp"}};
  for (const argv_t& args : counts) {
    run_result result = site.run(args);
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.err, kUsage);
    EXPECT_EQ(result.out, "");
  }
  EXPECT_EQ(read_file(site.dir / "app.rsp"), original);
  EXPECT_TRUE(site.started().empty());
}

TEST(BindrunE2e, UnreadableResponseFileStartsNoTool) {
  bind_site site({"ilink", "wbind"});
  make_dir(site.dir / "folder.rsp");
  for (const char* name : {"missing.rsp", "folder.rsp"}) {
    run_result result = site.run({"ilink", "wbind", "app.exe", name});
    EXPECT_EQ(result.status, 1) << name;
    EXPECT_EQ(result.out, "Unable to open response file!\r\n") << name;
  }
  EXPECT_TRUE(site.started().empty());
}

TEST(BindrunE2e, AcceptsAtMost999Lines) {
  bind_site site({"tlink"});
  const std::string accepted = numbered_lines(998) + "app.res\r\n";
  write_file(site.dir / "ok.rsp", accepted);
  run_result ok = site.run({"tlink", "rc", "app.exe", "ok.rsp"});
  EXPECT_EQ(ok.out, "");
  EXPECT_EQ(read_file(site.dir / "ok.rsp"), numbered_lines(998));
  EXPECT_EQ(site.started().size(), 1u);

  const std::string refused = numbered_lines(999) + "app.res\r\n";
  write_file(site.dir / "big.rsp", refused);
  run_result big = site.run({"tlink", "rc", "app.exe", "big.rsp"});
  EXPECT_EQ(big.status, 1);
  EXPECT_EQ(big.out, "Too many lines in input file!\r\n");
  EXPECT_EQ(read_file(site.dir / "big.rsp"), refused);
  EXPECT_EQ(site.started().size(), 1u);
}

TEST(BindrunE2e, LongLineIsWrittenBackWhole) {
  bind_site site({"ilink", "rc"});
  // The second line's '+' sits in its second piece, right before the line
  // that names the resource.
  const std::string plain(3000, 'p');
  const std::string chained(3000, 'c');
  write_file(site.dir / "app.rsp", plain + "\r\n" + chained + "+\r\napp.res\r\n");
  run_result result = site.run({"ilink", "rc", "app.exe", "app.rsp"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(read_file(site.dir / "app.rsp"), plain + "\r\n" + chained + "\r\n");
  EXPECT_EQ(site.started().back(), (argv_t{"rc", "app.res", "app.exe"}));
}

TEST(BindrunE2e, FailedWriteBackKeepsTheFileAndStartsNoTool) {
  bind_site site({"ilink", "wbind"});
  const std::string original =
      "start.obj+\r\nmain.obj+\r\napp.res\r\nwith a line long enough to pass the limit\r\n";
  write_file(site.dir / "app.rsp", original);
  run_result result = site.run({"ilink", "wbind", "app.exe", "app.rsp"}, "", 64);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "Unable to update response file!\r\n");
  EXPECT_EQ(read_file(site.dir / "app.rsp"), original);
  EXPECT_TRUE(site.started().empty());
}

}  // namespace
