#include "zip/BackgroundFlush.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>

namespace {

// A flush that tells when it begins and ends only when the test lets it. (A mutex and a
// condition variable rather than std::binary_semaphore: libstdc++ 12's atomic waits can lose
// a wake-up on Windows.)
class HeldFlush {
public:
  void operator()() {
    std::unique_lock lock(mutex_);
    ++calls_;
    ++atOnce_;
    mostAtOnce_ = std::max(mostAtOnce_, atOnce_);
    changed_.notify_all();
    changed_.wait(lock, [&] { return allowed_ >= calls_; });
    --atOnce_;
  }
  // Waits until the n-th flush has begun.
  void waitForBegin(int n) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return calls_ >= n; });
  }
  // Lets the n-th flush end.
  void letEnd(int n) {
    std::lock_guard lock(mutex_);
    allowed_ = n;
    changed_.notify_all();
  }
  int calls() {
    std::lock_guard lock(mutex_);
    return calls_;
  }
  int mostAtOnce() {
    std::lock_guard lock(mutex_);
    return mostAtOnce_;
  }

private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int calls_ = 0;
  int allowed_ = 0;
  int atOnce_ = 0;
  int mostAtOnce_ = 0;
};

TEST(BackgroundFlush, FlushesOnceEnoughIsWrittenAndNeverTwiceAtOnce) {
  HeldFlush flush;
  {
    zip::BackgroundFlush background([&] { flush(); }, 100);
    background.written(99);
    background.written(1);
    flush.waitForBegin(1);
    // Written while the first runs: the next begins as soon as it ends.
    background.written(250);
    flush.letEnd(1);
    flush.waitForBegin(2);
    flush.letEnd(2);
  }
  EXPECT_EQ(flush.calls(), 2);
  EXPECT_EQ(flush.mostAtOnce(), 1);
}

TEST(BackgroundFlush, NothingIsFlushedBelowTheAmountAndTheEndWaitsForAFlushUnderWay) {
  HeldFlush flush;
  {
    zip::BackgroundFlush background([&] { flush(); }, 100);
    background.written(99);
  }
  EXPECT_EQ(flush.calls(), 0);

  bool ended = false;
  {
    zip::BackgroundFlush background(
        [&] {
          flush();
          ended = true;
        },
        100);
    background.written(100);
    flush.waitForBegin(1);
    flush.letEnd(1);
  }
  EXPECT_TRUE(ended) << "the end did not wait for the flush under way";
}

}  // namespace
