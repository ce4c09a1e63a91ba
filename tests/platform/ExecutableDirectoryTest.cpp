#include "platform/ExecutableDirectory.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "tests/platform/TempDir.h"

namespace {

TEST(ExecutableDirectory, IsTheDirectoryOfTheRunningProgramNotTheWorkingDirectory) {
  platformtest::TempDir elsewhere;
  const auto before = std::filesystem::current_path();
  std::filesystem::current_path(elsewhere.path());
  const auto directory = platform::executableDirectory();
  std::filesystem::current_path(before);

  EXPECT_TRUE(directory.is_absolute());
  EXPECT_TRUE(std::filesystem::is_regular_file(directory / "platform_tests"));
}

TEST(ExecutableDirectory, WithTrailingSeparator) {
  struct Row {
    const char* directory;
    const char* text;
  };
  for (const Row& row : {Row{"/opt/quendral", "/opt/quendral/"},
                         Row{"/opt/quendral/", "/opt/quendral/"}, Row{"/", "/"}, Row{"", ""}}) {
    SCOPED_TRACE(row.directory);
    EXPECT_EQ(platform::withTrailingSeparator(row.directory), row.text);
  }
}

}  // namespace
