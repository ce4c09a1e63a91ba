// Threads that decode entries side by side while the extraction writes them in order. A thread
// that has work takes more (up to DecodeLanes::maxLanes entries, advanced together) only while
// no other thread waits for work: entries spread over the threads first. With no threads, a
// job runs at once in the caller's thread, so one code path serves both.
#pragma once

#include <condition_variable>
#include <deque>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "zip/DecodeLanes.h"

namespace zip {

class DecodePool {
public:
  explicit DecodePool(unsigned threads);
  // Runs the jobs still queued, then joins the threads.
  ~DecodePool();
  DecodePool(const DecodePool&) = delete;
  DecodePool& operator=(const DecodePool&) = delete;

  // The future holds the text of what a step of the job threw, if one did.
  std::future<DecodeJob::Failure> submit(std::unique_ptr<DecodeJob> job);

private:
  struct Queued {
    std::unique_ptr<DecodeJob> job;
    std::promise<DecodeJob::Failure> done;
  };

  void work();
  std::vector<Queued> take(const DecodeLanes& lanes);

  std::vector<std::thread> threads_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Queued> queue_;
  unsigned waiting_ = 0;  // threads with no work, waiting for some
  bool stopping_ = false;
  std::unique_ptr<DecodeLanes> inlineLanes_;  // for jobs run in the caller's thread
};

}  // namespace zip
