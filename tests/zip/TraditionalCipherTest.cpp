#include "zip/TraditionalCipher.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::byte>;

Bytes noise(size_t size, unsigned seed) {
  std::mt19937 random(seed);
  Bytes bytes(size);
  for (std::byte& b : bytes) b = static_cast<std::byte>(random());
  return bytes;
}

// Streams of these lengths are decrypted together twice in a row, the second time continuing
// each key stream; every stream must come out as its own cipher alone makes it.
struct TogetherCase {
  const char* label;
  std::vector<size_t> lengths;
};

class DecryptTogetherTest : public testing::TestWithParam<TogetherCase> {};

TEST_P(DecryptTogetherTest, GivesWhatEachCipherGivesAlone) {
  const std::vector<size_t>& lengths = GetParam().lengths;
  std::vector<zip::TraditionalCipher> alone, together;
  std::vector<Bytes> expected, actual;
  for (size_t i = 0; i < lengths.size(); ++i) {
    const std::string password = "clave" + std::to_string(i);
    alone.emplace_back(password);
    together.emplace_back(password);
    expected.push_back(noise(2 * lengths[i], static_cast<unsigned>(i)));
    actual.push_back(expected.back());
  }
  for (size_t i = 0; i < lengths.size(); ++i) alone[i].decrypt(expected[i]);

  for (size_t half = 0; half < 2; ++half) {
    std::vector<zip::TraditionalCipher::Stream> streams;
    for (size_t i = 0; i < lengths.size(); ++i) {
      streams.push_back(
          {&together[i], std::span(actual[i]).subspan(half * lengths[i], lengths[i])});
    }
    zip::TraditionalCipher::decryptTogether(streams);
  }
  EXPECT_EQ(actual, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, DecryptTogetherTest,
    testing::Values(TogetherCase{"None", {}}, TogetherCase{"OneStream", {4099}},
                    TogetherCase{"FourEqual", {700, 700, 700, 700}},
                    TogetherCase{"EmptyAmongOthers", {0, 300, 0, 1}},
                    TogetherCase{"ShortestLeavesFirst", {1, 5000, 64, 900}},
                    TogetherCase{"MoreThanFour", {3000, 1, 2999, 17, 0, 1024, 4096}}),
    [](const testing::TestParamInfo<TogetherCase>& row) { return row.param.label; });

}  // namespace
