// Where code lies in its module: the offsets the fatal report names.
#include "platform/CodeAddress.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace {

[[gnu::noinline]] int addOne(int value) {
  return value + 1;
}
[[gnu::noinline]] int triple(int value) {
  return value * 3;
}

const void* codeOf(int (*function)(int)) {
  const void* code = nullptr;
  static_assert(sizeof(function) == sizeof(code));
  std::memcpy(&code, &function, sizeof(code));
  return code;
}

TEST(CodeAddress, FunctionsOfThisProgramLieAtTheirDistanceFromOneModuleStart) {
  const void* first = codeOf(&addOne);
  const void* second = codeOf(&triple);
  const auto firstOffset = platform::offsetInModule(first);
  const auto secondOffset = platform::offsetInModule(second);
  ASSERT_TRUE(firstOffset && secondOffset);
  EXPECT_GT(*firstOffset, 0u);
  // Both measured from the same start: the program's.
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(first) - *firstOffset,
            reinterpret_cast<std::uintptr_t>(second) - *secondOffset);
  EXPECT_LT(*firstOffset, reinterpret_cast<std::uintptr_t>(first));
}

TEST(CodeAddress, DataOutsideEveryModuleHasNoOffset) {
  const auto onHeap = std::make_unique<int>(7);
  int onStack = 7;
  EXPECT_FALSE(platform::offsetInModule(onHeap.get())) << "heap";
  EXPECT_FALSE(platform::offsetInModule(&onStack)) << "stack";
  EXPECT_EQ(addOne(onStack) + triple(*onHeap), 29);  // both functions are used, not folded away
}

}  // namespace
