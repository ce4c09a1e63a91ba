#include <gtest/gtest.h>

#include "publish/FourPartVersion.h"

namespace {

using publish::parseFourPartVersion;

TEST(FourPartVersion, ReadsFourNumbersAndNothingElse) {
  EXPECT_EQ(parseFourPartVersion("2.4.1.7")->text(), "2.4.1.7");
  EXPECT_EQ(parseFourPartVersion("0.0.0.65535")->text(), "0.0.0.65535");
  for (const char* text : {"", "2.4.1", "2.4.1.7.1", "2.4..7", "2.4.1.7 ", " 2.4.1.7", "2.4.1.x",
                           "2.04.1.7", "2.4.1.65536", "2.4.1.-7", "2.4.1.7."})
    EXPECT_FALSE(parseFourPartVersion(text)) << '"' << text << '"';
}

TEST(FourPartVersion, ComparesAsNumbers) {
  EXPECT_GT(*parseFourPartVersion("2.4.1.10"), *parseFourPartVersion("2.4.1.9"));
  EXPECT_GT(*parseFourPartVersion("3.0.0.0"), *parseFourPartVersion("2.65535.65535.65535"));
  EXPECT_EQ(*parseFourPartVersion("2.4.1.7"), *parseFourPartVersion("2.4.1.7"));
}

}  // namespace
