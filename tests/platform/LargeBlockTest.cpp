// A large block is all there, zero-filled, for any size the codecs ask for.
#include "platform/LargeBlock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace {

using platform::PageUse;

TEST(LargeBlock, IsZeroFilledAndWritableToItsLastByte) {
  struct Case {
    std::size_t bytes;
    PageUse use;
  };
  // Sizes off the page and huge-page boundaries, where a block cut to its pages could fall short.
  const Case cases[] = {{1, PageUse::Sequential},
                        {4097, PageUse::Sequential},
                        {(3u << 20) + 5, PageUse::Sequential},
                        {1, PageUse::Scattered},
                        {(2u << 20) - 1, PageUse::Scattered},
                        {(5u << 20) + 4097, PageUse::Scattered}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.bytes << " bytes, use " << static_cast<int>(c.use));
    auto* block = static_cast<unsigned char*>(platform::allocateLargeBlock(c.bytes, c.use));
    ASSERT_NE(block, nullptr);
    EXPECT_TRUE(std::all_of(block, block + c.bytes, [](unsigned char b) { return b == 0; }));
    std::memset(block, 0xA5, c.bytes);
    EXPECT_EQ(block[c.bytes - 1], 0xA5);
    platform::releaseLargeBlock(block, c.bytes);
  }
  platform::releaseLargeBlock(nullptr, 0);  // nothing to give back
}

}  // namespace
