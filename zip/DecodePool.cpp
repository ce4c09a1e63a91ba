#include "zip/DecodePool.h"

namespace zip {

DecodePool::DecodePool(unsigned threads) {
  if (threads == 0) inlineBuffers_ = std::make_unique<DecodeBuffers>();
  threads_.reserve(threads);
  for (unsigned i = 0; i < threads; ++i) threads_.emplace_back([this] { work(); });
}

DecodePool::~DecodePool() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

std::future<void> DecodePool::submit(Job job) {
  std::packaged_task<void(DecodeBuffers&)> task(std::move(job));
  std::future<void> done = task.get_future();
  if (threads_.empty()) {
    task(*inlineBuffers_);
    return done;
  }
  {
    std::lock_guard lock(mutex_);
    queue_.push_back(std::move(task));
  }
  wake_.notify_one();
  return done;
}

void DecodePool::work() {
  DecodeBuffers buffers;
  for (;;) {
    std::packaged_task<void(DecodeBuffers&)> task;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
      if (queue_.empty()) return;
      task = std::move(queue_.front());
      queue_.pop_front();
    }
    task(buffers);
  }
}

}  // namespace zip
