#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include "common/dos_names.h"
#include "tests/e2e_support.h"

namespace {

TEST(FindDosName, FindsWhatDosWouldOpenAndNothingElse) {
  scratch_dir dir;
  make_dos_tree(dir.path);
  write_file(dir / "a\\b.inc", "");
  make_dir(dir / "c:");  // as in wine's dosdevices
  write_file(dir / "c:/x.inc", "");
  ASSERT_EQ(symlink("nowhere", (dir / "Src/Gone.inc").c_str()), 0);
  write_file(dir / "\xe9.inc", "");
  const std::string root = dir.path + "/";
  struct {
    std::string name;
    std::string found;  // empty: missing
  } cases[] = {
      {"inc/x.inc", "inc/x.inc"},
      {"INC\\X.INC", "inc/x.inc"},
      {"src\\..\\Inc\\X.inc", "Src/../inc/x.inc"},
      {"SRC/GONE.INC", "Src/Gone.inc"},  // any entry, a dangling link too
      {root + "LIB\\LIBM.A", root + "lib/libm.a"},
      {"a\\b.inc", "a\\b.inc"},  // exists as written, so never split
      {"c:/x.inc", "c:/x.inc"},
      {"C:\\X.INC", ""},
      {"dup.inc", "dup.inc"},
      {"DUP.INC", ""},
      {"INC\\..\\dup.inc", "inc/../dup.inc"},  // each part as written where it exists
      {"\xC9.INC", ""},                        // only A to Z fold
      {"INC\\Y.INC", ""},
  };
  // Relative names start from the current folder, as in the programs.
  char* before = getcwd(nullptr, 0);
  ASSERT_EQ(chdir(dir.path.c_str()), 0);
  folder_listings listings;
  for (const auto& c : cases) {
    std::string found;
    EXPECT_EQ(find_dos_name(c.name, listings, &found), !c.found.empty()) << c.name;
    if (!c.found.empty()) {
      EXPECT_EQ(found, c.found) << c.name;
    }
  }
  // A folder is listed once a run: a second entry alike that comes later is
  // not seen.  A file made for DOS goes where DOS would make it.
  write_file(dir / "inc/X.inc", "");
  std::string found;
  EXPECT_TRUE(find_dos_name("INC\\X.INC", listings, &found));
  EXPECT_TRUE(place_dos_name("SRC\\NEW.DEF", listings, &found));
  EXPECT_EQ(found, "Src/NEW.DEF");
  EXPECT_FALSE(place_dos_name("NONE\\NEW.DEF", listings, &found));
  EXPECT_EQ(chdir(before), 0);
  free(before);
}

}  // namespace
