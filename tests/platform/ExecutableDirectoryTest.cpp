#include "platform/ExecutableDirectory.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/platform/TempDir.h"

namespace {

TEST(ExecutableDirectory, IsTheDirectoryOfTheRunningProgramNotTheWorkingDirectory) {
  platformtest::TempDir elsewhere;
  const auto before = std::filesystem::current_path();
  std::filesystem::current_path(elsewhere.path());
  const auto directory = platform::executableDirectory();
  const auto program = platform::executablePath();
  std::filesystem::current_path(before);

  EXPECT_TRUE(directory.is_absolute());
  EXPECT_EQ(program.parent_path(), directory);
  EXPECT_EQ(program.stem(), "platform_tests");
  EXPECT_TRUE(std::filesystem::is_regular_file(directory / program.filename()));
}

TEST(ExecutableDirectory, WithTrailingSeparator) {
  const std::string separator(1, static_cast<char>(std::filesystem::path::preferred_separator));
  struct Row {
    std::filesystem::path directory;
    std::string text;
  };
  for (const Row& row : {
           Row{"/opt/quendral", "/opt/quendral" + separator},
           Row{"/opt/quendral/", "/opt/quendral/"},
           Row{"/", "/"},
           Row{"", ""},
           // UTF-8 whatever the system's code page (Windows would give ANSI for string()).
           Row{std::filesystem::path(u8"/opt/Facturaci\u00f3n"),
               "/opt/Facturaci\xc3\xb3n" + separator},
       }) {
    SCOPED_TRACE(row.text);
    EXPECT_EQ(platform::withTrailingSeparator(row.directory), row.text);
  }
}

}  // namespace
