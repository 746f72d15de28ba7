// Runs the built bindrun with fake linkers and binders on a scratch PATH.
#include <gtest/gtest.h>

#include "tests/e2e_support.h"

namespace {

const std::vector<std::string> kTools = {"tlink", "ilink", "wlink", "wbind", "rc"};

run_result bindrun(const tool_site& site, const std::vector<std::string>& args,
                   const std::string& exits, long long size_limit = -1) {
  run_options options = site.options;
  options.env.push_back({"FAKE_TOOL_EXIT", exits});
  options.file_size_limit = size_limit;
  return run_program(kit_program("bindrun"), args, options);
}

// The tools started, as "argv argv; argv argv;".
std::string started(const tool_site& site) {
  std::string text;
  for (const std::string& run : site.started()) text += (text.empty() ? "" : " ") + run + ";";
  return text;
}

std::string objects(int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += "m" + std::to_string(i) + ".obj\r\n";
  return text;
}

TEST(BindrunE2e, LinksTheRewrittenFileThenBinds) {
  const std::string wb = " wbind a.exe -q -R -q r.res a.exe;", big(3000, 'p');
  const struct {
    const char *link, *rc, *exits;
    std::string rsp, file;  // the response file before and after
    int status;
    std::string started;
  } cases[] = {
      {"ilink", "wbind", "", "s+\r\nm+\nr.res\r\nx\n", "s+\r\nm\r\nx\r\n", 0,
       "ilink /nofree /nol @a.rsp;" + wb},
      // A failing linker, or one that cannot be started, starts no binder.
      {"tlink", "wbind", "tlink=2", "a r.res\n", "a \r\n", 2, "tlink @a.rsp;"},
      {"nolink", "wbind", "", "a r.res\n", "a \r\n", 255, ""},
      {"tlink", "wbind", "wbind=3", "a r.res\n", "a \r\n", 3, "tlink @a.rsp;" + wb},
      // Without resources, wbind's failure does not fail the build.
      {"tlink", "wbind", "wbind=5", "a\n", "a\r\n", 0, "tlink @a.rsp; wbind a.exe -n -q;"},
      {"tlink", "rc", "rc=4", "a\n", "a\r\n", 0, "tlink @a.rsp;"},
      {"tlink", "rc", "rc=4", "a,r.res\n", "a\r\n", 4, "tlink @a.rsp; rc r.res a.dll;"},
      {"wlink", "rc", "", "f a,\nr.res\n", "f a\r\n", 0, "wlink @a.rsp; rc -q r.res a.dll;"},
      {"tlink", "norc", "", "r.res\n", "", 255, "tlink @a.rsp;"},
      {"tlink", "rc", "", objects(998) + "r.res\r\n", objects(998), 0,
       "tlink @a.rsp; rc r.res a.dll;"},
      {"ilink", "rc", "", big + "\n" + big + "+\nr.res\n", big + "\r\n" + big + "\r\n", 0,
       "ilink /nofree /nol @a.rsp; rc r.res a.dll;"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.link) + " " + c.rc + " " + c.exits);
    tool_site site(kTools);
    write_file(site / "a.rsp", c.rsp);
    run_result result =
        bindrun(site, {c.link, c.rc, c.rc[0] == 'w' ? "a" : "a.dll", "a.rsp"}, c.exits);
    EXPECT_EQ(result.status, c.status);
    EXPECT_EQ(result.out + result.err, "");
    EXPECT_EQ(read_file(site / "a.rsp"), c.file);
    EXPECT_EQ(started(site), c.started);
    std::vector<tool_run> runs = site.runs();
    if (!runs.empty()) {
      EXPECT_EQ(runs[0].files, (decltype(runs[0].files){{"a.rsp", c.file}}));
    }
  }
}

TEST(BindrunE2e, FailuresKeepTheFileAndStartNoTool) {
  const std::string usage = "Usage: bindrun <link> <rc> <exe_file> <link_rsp_file>\r\n";
  const std::string r = "r.res\n", update = "s+\r\nm+\r\nr.res\r\n" + objects(9);
  const struct {
    std::vector<std::string> args;
    std::string rsp;
    long long size_limit;
    int status;
    std::string out, err;
  } cases[] = {
      {{}, r, -1, 255, "", usage},
      {{"ilink", "wbind", "a.rsp"}, r, -1, 255, "", usage},
      {{"ilink", "wbind", "a", "a.rsp", "a.rsp"}, r, -1, 255, "", usage},
      {{"ilink", "wbind", "a", "none.rsp"}, r, -1, 1, "Unable to open response file!\r\n", ""},
      {{"ilink", "wbind", "a", "a.rsp"},
       objects(999) + r,
       -1,
       1,
       "Too many lines in input file!\r\n",
       ""},
#ifndef _WIN32  // no file size limit there
      // Writes fail past 64 bytes, so the rewritten file cannot be written.
      {{"ilink", "wbind", "a", "a.rsp"}, update, 64, 1, "Unable to update response file!\r\n", ""},
#endif
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args) + " " + c.out);
    tool_site site(kTools);
    write_file(site / "a.rsp", c.rsp);
    run_result result = bindrun(site, c.args, "", c.size_limit);
    EXPECT_EQ(result.status, c.status);
    EXPECT_EQ(result.out, c.out);
    EXPECT_EQ(result.err, c.err);
    EXPECT_EQ(read_file(site / "a.rsp"), c.rsp);
    EXPECT_TRUE(site.runs().empty());
  }
}

}  // namespace
