#include "zip/BackgroundFlush.h"

#include <utility>

namespace zip {

BackgroundFlush::BackgroundFlush(std::function<void()> flush, uint64_t every)
    : flush_(std::move(flush)), every_(every) {}

BackgroundFlush::~BackgroundFlush() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_one();
  if (thread_.joinable()) thread_.join();
}

void BackgroundFlush::written(uint64_t bytes) {
  {
    std::lock_guard lock(mutex_);
    unflushed_ += bytes;
    if (unflushed_ < every_ || requested_ || flushing_) return;
    unflushed_ = 0;
    requested_ = true;
  }
  if (!thread_.joinable()) {
    thread_ = std::thread([this] { work(); });
  } else {
    wake_.notify_one();
  }
}

void BackgroundFlush::work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return requested_ || stopping_; });
    if (stopping_) return;
    requested_ = false;
    flushing_ = true;
    lock.unlock();
    flush_();
    lock.lock();
    flushing_ = false;
    // What was written meanwhile may make the next due already.
    if (unflushed_ >= every_) {
      unflushed_ = 0;
      requested_ = true;
    }
  }
}

}  // namespace zip
