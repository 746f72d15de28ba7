#include "common/file_system.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/e2e_support.h"

namespace {

TEST(FileSystem, UniqueFilesNeverCollide) {
  scratch_dir dir;
  const std::filesystem::path cwd = std::filesystem::current_path();
  std::filesystem::current_path(dir.path);
  std::vector<std::string> names;
  for (int i = 0; i < 20; ++i) {
    text_writer writer;
    std::string name;
    ASSERT_TRUE(create_unique_file("t", ".rsp", writer, &name));
    EXPECT_EQ(std::string::npos, name.find_first_of("/\\"));
    for (const std::string& earlier : names) EXPECT_NE(earlier, name);
    names.push_back(name);
  }
  std::filesystem::current_path(cwd);
  for (const std::string& name : names) EXPECT_TRUE(path_exists(dir / name));
}

}  // namespace
