#include "zip/DecodePool.h"

namespace zip {

DecodePool::DecodePool(unsigned threads) {
  if (threads == 0) inlineLanes_ = std::make_unique<DecodeLanes>();
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

std::future<DecodeJob::Failure> DecodePool::submit(std::unique_ptr<DecodeJob> job) {
  std::promise<DecodeJob::Failure> done;
  std::future<DecodeJob::Failure> result = done.get_future();
  if (threads_.empty()) {
    inlineLanes_->start(std::move(job), std::move(done));
    inlineLanes_->runAll();
    return result;
  }
  {
    std::lock_guard lock(mutex_);
    queue_.push_back({std::move(job), std::move(done)});
  }
  wake_.notify_one();
  return result;
}

void DecodePool::work() {
  DecodeLanes lanes;
  for (;;) {
    std::vector<Queued> taken = take(lanes);
    if (taken.empty() && lanes.empty()) return;
    for (Queued& queued : taken) lanes.start(std::move(queued.job), std::move(queued.done));
    if (!lanes.empty()) lanes.advance();
  }
}

// The jobs a thread takes now: with nothing to do it waits for one; with work under way it
// adds jobs to its lanes only while every other thread is busy too.
std::vector<DecodePool::Queued> DecodePool::take(const DecodeLanes& lanes) {
  std::vector<Queued> taken;
  std::unique_lock lock(mutex_);
  if (lanes.empty()) {
    ++waiting_;
    wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
    --waiting_;
  }
  while (!queue_.empty() && lanes.size() + taken.size() < DecodeLanes::maxLanes &&
         (lanes.size() + taken.size() == 0 || waiting_ == 0)) {
    taken.push_back(std::move(queue_.front()));
    queue_.pop_front();
  }
  return taken;
}

}  // namespace zip
