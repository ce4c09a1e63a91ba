// The real KUB resource library, bound at load time as the program binds it.
#include "branding/LinkedResources.h"
#include "platform/LoadedLibrary.h"

#include <gtest/gtest.h>

namespace branding {
namespace {

TEST(LinkedResources, GivesTheProductLinesValues) {
  const LinkedResources resources;
  EXPECT_EQ(resources.getSistema(), "KUB");
  EXPECT_TRUE(resources.getUpdatePath().endsWith('/'));
  EXPECT_EQ(resources.getUpdateName(), "VersionesKUB.txt");
  EXPECT_EQ(resources.getColores().item("TextoBlanco"), 0xFFFFFFFFu);
  EXPECT_EQ(&resources.getColores(), &resources.getColores()) << "the table stays the library's";
}

// The optional operation is found in the loaded library, though the program does not import it.
TEST(LinkedResources, FindsTheOptionalUpdateKeyOperation) {
  EXPECT_NE(platform::findOperation(LinkedResources::kLoadedName, "getUpdateKey"), nullptr);
  EXPECT_EQ(platform::findOperation(LinkedResources::kLoadedName, "getNothing"), nullptr);
  EXPECT_EQ(LinkedResources().getUpdateKey(), "") << "the KUB line does not sign";
}

TEST(LinkedResources, MissingColourKeyFailsWithItemNotFound) {
  const LinkedResources resources;
  try {
    resources.getColores().item("banner");  // keys are exact
    FAIL() << "no error";
  } catch (const ItemNotFoundError& error) {
    EXPECT_STREQ(error.what(), "Item not found");
  }
}

TEST(LinkedResources, ImageStreamsArriveAtTheirEnd) {
  const LinkedResources resources;
  const auto logo = resources.getImage("LogoBanner");
  ASSERT_GT(logo->size(), 8u);
  EXPECT_EQ(logo->position(), logo->size());
  logo->seek(0);
  char signature[8];
  ASSERT_EQ(logo->read(signature, sizeof signature), sizeof signature);
  EXPECT_EQ(std::string(signature + 1, 3), "PNG");
  EXPECT_EQ(resources.getImage("nothing")->size(), 0u);
}

}  // namespace
}  // namespace branding
