// What a loaded library exports, asked by name: how the updater refuses, under Wine as on
// Windows, a resource library that lacks an operation.
#include "platform/LoadedLibrary.h"

#include <gtest/gtest.h>

namespace {

TEST(LoadedLibrary, NamesTheOperationsALoadedLibraryLacks) {
  struct Row {
    const char* name;
    std::string library;
    std::vector<std::string> asked;
    std::vector<std::string> missing;
  };
  const Row rows[] = {
      {"all there", "kernel32.dll", {"GetTickCount", "CreateFileW"}, {}},
      {"one lacking", "KERNEL32.DLL", {"GetTickCount", "getImage"}, {"getImage"}},
      {"not loaded",
       "ResourcesUpdNowhere.dll",
       {"getSistema", "getImage"},
       {"getSistema", "getImage"}},
  };
  for (const Row& row : rows)
    EXPECT_EQ(platform::missingOperations(row.library, row.asked), row.missing) << row.name;
}

}  // namespace
