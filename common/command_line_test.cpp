#include "common/command_line.h"

#include <gtest/gtest.h>

namespace {

TEST(CommandLine, QuotesOnlyWhatTheRuntimeWouldSplitOrChange) {
  EXPECT_EQ("plain", quote_argument("plain"));
  EXPECT_EQ("C:\\dir\\x.obj", quote_argument("C:\\dir\\x.obj"));
  EXPECT_EQ("\"\"", quote_argument(""));
  EXPECT_EQ("\"a b\"", quote_argument("a b"));
  EXPECT_EQ("\"a\tb\"", quote_argument("a\tb"));
  EXPECT_EQ("\"say \\\"hi\\\"\"", quote_argument("say \"hi\""));
  // Backslashes are doubled only before a quote, the closing one included.
  EXPECT_EQ("\"C:\\a b\\\\\"", quote_argument("C:\\a b\\"));
  EXPECT_EQ("\"a\\\\\\\"b\"", quote_argument("a\\\"b"));
  EXPECT_EQ("\"a\\\\b c\"", quote_argument("a\\\\b c"));
}

TEST(CommandLine, JoinsThePathAndTheArgumentsWithSingleSpaces) {
  EXPECT_EQ("C:\\bc\\tlink.exe @app.rsp",
            program_command_line("C:\\bc\\tlink.exe", {"tlink", "@app.rsp"}, false));
  EXPECT_EQ("tool.exe ", program_command_line("tool.exe", {"tool"}, false));
  EXPECT_EQ("\"ilink.exe\" /nofree /nol \"@my app.rsp\"",
            program_command_line("ilink.exe", {"ilink", "/nofree", "/nol", "@my app.rsp"}, true));
  EXPECT_EQ("\"C:\\x\".exe a", program_command_line("\"C:\\x\".exe", {"x", "a"}, true));
}

TEST(CommandLine, BatchRunsNeverLetAnArgumentStartACommand) {
  std::string tail;
  ASSERT_TRUE(batch_command_tail("tool.bat", {"tool", "a", "@x.rsp"}, &tail));
  EXPECT_EQ(" /c tool.bat a @x.rsp", tail);
  ASSERT_TRUE(batch_command_tail("tool.bat", {"tool", "a&echo injected>x.txt", "(b)", ""}, &tail));
  EXPECT_EQ(" /c tool.bat \"a&echo injected>x.txt\" \"(b)\" \"\"", tail);
  ASSERT_TRUE(batch_command_tail("C:\\my tools\\t.bat", {"t", "x|y"}, &tail));
  EXPECT_EQ(" /c \"\"C:\\my tools\\t.bat\" \"x|y\"\"", tail);
  // Each byte the interpreter acts on is quoted even when it is the only one.
  for (const std::string alone :
       {"a&calc", "a|b", "a<b", "a>b", "a^b", "(b", "b)", "a b", "a\tb"}) {
    ASSERT_TRUE(batch_command_tail("tool.bat", {"tool", alone}, &tail));
    EXPECT_EQ(" /c tool.bat \"" + alone + "\"", tail);
  }
  for (const char* refused : {"a\"b", "100%", "wow!", "a\rb", "a\nb"}) {
    tail = "unchanged";
    EXPECT_FALSE(batch_command_tail("tool.bat", {"tool", refused}, &tail)) << refused;
    EXPECT_EQ("unchanged", tail);
  }
  EXPECT_FALSE(batch_command_tail("50%.bat", {"t"}, &tail));
}

}  // namespace
