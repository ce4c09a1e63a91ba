#include "zip/BackgroundFlush.h"

#include <gtest/gtest.h>

#include <atomic>
#include <semaphore>

namespace {

// A flush that tells when it begins and ends only when the test lets it.
struct HeldFlush {
  std::binary_semaphore begun{0};
  std::binary_semaphore mayEnd{0};
  std::atomic<int> calls = 0;
  std::atomic<int> atOnce = 0;
  std::atomic<int> mostAtOnce = 0;

  void operator()() {
    const int now = ++atOnce;
    if (now > mostAtOnce) mostAtOnce = now;
    ++calls;
    begun.release();
    mayEnd.acquire();
    --atOnce;
  }
};

TEST(BackgroundFlush, FlushesOnceEnoughIsWrittenAndNeverTwiceAtOnce) {
  HeldFlush flush;
  {
    zip::BackgroundFlush background([&] { flush(); }, 100);
    background.written(99);
    background.written(1);
    flush.begun.acquire();
    // Written while the first runs: the next begins as soon as it ends.
    background.written(250);
    flush.mayEnd.release();
    flush.begun.acquire();
    flush.mayEnd.release();
  }
  EXPECT_EQ(flush.calls, 2);
  EXPECT_EQ(flush.mostAtOnce, 1);
}

TEST(BackgroundFlush, NothingIsFlushedBelowTheAmountAndTheEndWaitsForAFlushUnderWay) {
  HeldFlush flush;
  {
    zip::BackgroundFlush background([&] { flush(); }, 100);
    background.written(99);
  }
  EXPECT_EQ(flush.calls, 0);

  std::atomic<bool> ended = false;
  {
    zip::BackgroundFlush background(
        [&] {
          flush();
          ended = true;
        },
        100);
    background.written(100);
    flush.begun.acquire();
    flush.mayEnd.release();
  }
  EXPECT_TRUE(ended) << "the end did not wait for the flush under way";
}

}  // namespace
