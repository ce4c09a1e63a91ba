// Threads that decode entries side by side while the extraction writes them in order. Each
// thread owns one set of decode buffers. With no threads, a job runs at once in the caller's
// thread, so one code path serves both.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "zip/EntryReader.h"

namespace zip {

class DecodePool {
public:
  using Job = std::function<void(DecodeBuffers&)>;

  explicit DecodePool(unsigned threads);
  // Runs the jobs still queued, then joins the threads.
  ~DecodePool();
  DecodePool(const DecodePool&) = delete;
  DecodePool& operator=(const DecodePool&) = delete;

  // The future holds the job's exception, if it throws.
  std::future<void> submit(Job job);

private:
  void work();

  std::vector<std::thread> threads_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::packaged_task<void(DecodeBuffers&)>> queue_;
  bool stopping_ = false;
  std::unique_ptr<DecodeBuffers> inlineBuffers_;  // for jobs run in the caller's thread
};

}  // namespace zip
