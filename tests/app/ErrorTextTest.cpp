#include "app/ErrorText.h"

#include <gtest/gtest.h>

namespace app {
namespace {

struct TextCase {
  const char* message;
  const char* clickText;
  const char* fatalText;
};

TEST(ErrorText, PeriodRules) {
  const TextCase cases[] = {
      {"HTTP/1.1 404 Not Found", "HTTP/1.1 404 Not Found.", "HTTP/1.1 404 Not Found."},
      {"Item not found", "Item not found.", "Item not found."},
      {"Loading bitmap failed.", "Loading bitmap failed.", "Loading bitmap failed."},
      {"List index out of bounds (-1)", "List index out of bounds (-1)",
       "List index out of bounds (-1)."},
      {"Stop!", "Stop!", "Stop!."},
      {"ends in a blank ", "ends in a blank ", "ends in a blank ."},
      {"ends in a comma,", "ends in a comma,", "ends in a comma,."},   // ',' is below '.'
      {"ends in a slash/", "ends in a slash/.", "ends in a slash/."},  // '/' is above '.'
      {"versión 2", "versión 2.", "versión 2."},
      {"", "", ""},
  };
  for (const TextCase& c : cases) {
    SCOPED_TRACE(c.message);
    EXPECT_EQ(clickErrorText(QString::fromUtf8(c.message)), QString::fromUtf8(c.clickText));
    EXPECT_EQ(fatalErrorText(QString::fromUtf8(c.message)), QString::fromUtf8(c.fatalText));
  }
}

TEST(ErrorText, FatalHeadlineNamesClassModuleAndAddress) {
  EXPECT_EQ(fatalErrorHeadline("ItemNotFoundError", "updater", 0x1A2B),
            sizeof(quintptr) == 8
                ? "Exception ItemNotFoundError in module updater at 0000000000001A2B."
                : "Exception ItemNotFoundError in module updater at 00001A2B.");
}

}  // namespace
}  // namespace app
