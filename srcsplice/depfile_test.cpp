#include "srcsplice/depfile.h"

#include <gtest/gtest.h>

namespace {

dependency_list list_of(const std::vector<std::string>& paths) {
  dependency_list list;
  for (const std::string& path : paths) add_dependency(list, path);
  return list;
}

TEST(DependencyFile, ListsEachFileOnceInTheOrderFirstRead) {
  std::string text;
  ASSERT_TRUE(
      dependency_text("d.asm", list_of({"s.asm", "b.inc", "a.inc", "b.inc", "s.asm"}), &text));
  EXPECT_EQ(text, "d.asm: s.asm b.inc a.inc\nb.inc:\na.inc:\n");
}

// Each name as make and Ninja both read it back (checked with both), or
// empty where no writing serves both.
TEST(DependencyFile, EscapesNamesAsMakeAndNinjaReadThem) {
  struct {
    std::string name, written;
  } cases[] = {
      {"in c/a.inc", "in\\ c/a.inc"},
      {" lead", "\\ lead"},
      {"a\\ b", "a\\\\\\ b"},
      {"a\\\\ b", "a\\\\\\\\\\ b"},
      {"x#y$z:w", "x\\#y$$z\\:w"},
      {"C:\\ASM\\X.INC", "C\\:\\ASM\\X.INC"},
      {"a~+,-./@!{}]_()\xe4\xff", "a~+,-./@!{}]_()\xe4\xff"},
      {"", ""},
      {"~user", ""},
      {"lib(member)", ""},
      {"trail ", ""},
      {"colon:", ""},
      {"ends\\", ""},
      {"a\\#b", ""},
      {"a\\$b", ""},
      {"a\\:b", ""},
  };
  auto check = [](const std::string& name, const std::string& written) {
    std::string text;
    const bool as_input = dependency_text("d.asm", list_of({"s.asm", name}), &text);
    EXPECT_EQ(as_input, !written.empty()) << name;
    if (as_input) {
      EXPECT_EQ(text, "d.asm: s.asm " + written + "\n" + written + ":\n");
    }
    const bool as_target = dependency_text(name, list_of({"s.asm"}), &text);
    EXPECT_EQ(as_target, !written.empty()) << name;
    if (as_target) {
      EXPECT_EQ(text, written + ": s.asm\n");
    }
  };
  for (const auto& c : cases) check(c.name, c.written);
  // Ninja ends a name at any of these, and make reads a pattern, a variable,
  // a wildcard or a recipe.
  for (char c : std::string("\t\n\r\x01\x7f\"%&'*;<=>?[^`|")) check(std::string("a") + c + "b", "");
}

}  // namespace
