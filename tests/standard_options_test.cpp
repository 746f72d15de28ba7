// What every built program answers alike: --help and --version given
// alone, and the usage line.
#include <gtest/gtest.h>

#include "tests/e2e_support.h"

namespace {

// The built programs, each started with nothing, then with each option
// alone.  The help must begin with the very usage line of the usage error.
TEST(StandardOptions, EveryProgramAnswersHelpAndVersionGivenAlone) {
  scratch_dir dir;
  const struct {
    const char* name;
    int usage_status;
  } programs[] = {
      {"tlfix", 255}, {"bindrun", 255}, {"coffdrv", 255}, {"asmtally", 1}, {"srcsplice", 1}};
  for (const auto& p : programs) {
    const std::string program = kit_program(p.name);
    const run_result usage_error = run_program(program, {});
    ASSERT_EQ(usage_error.status, p.usage_status) << p.name;
    const std::string usage = usage_error.out + usage_error.err;
    ASSERT_EQ(usage.rfind("Usage: ", 0), 0u) << p.name << ": " << usage;

    const run_result help = run_program(program, {"--help"});
    EXPECT_EQ(help.status, 0) << p.name;
    EXPECT_EQ(help.err, "") << p.name;
    EXPECT_EQ(help.out.substr(0, usage.size()), usage) << p.name;
    EXPECT_GT(help.out.size(), usage.size() + 20) << p.name << ": no description";

    const run_result version = run_program(program, {"--version"});
    EXPECT_EQ(version.status, 0) << p.name;
    EXPECT_EQ(version.err, "") << p.name;
    EXPECT_EQ(version.out, std::string(p.name) + " (kit) " KIT_VERSION "\r\n");

#ifndef _WIN32  // needs a file size limit to make the write fail
    // An answer that could not be written must not pass as given.
    run_options unwritable;
    unwritable.stdout_path = dir / "out";
    unwritable.file_size_limit = 0;
    for (const char* option : {"--help", "--version"})
      EXPECT_EQ(run_program(program, {option}, unwritable).status, 1) << p.name << " " << option;
#endif
  }
  // Not alone, an option is an argument like any other.
  EXPECT_EQ(run_program(kit_program("asmtally"), {"--help", "x"}).out,
            "Usage: asmtally <filename>\r\n");
}

}  // namespace
