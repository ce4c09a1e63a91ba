// Flushes a file system on a thread of its own while an extraction is still writing to it, so
// that the flush an install must wait for before its journal (Extractor) finds most of the
// data on the disk already: the disk writes while the decoding threads work, rather than after.
// The flushes it begins are only a head start: whether they succeed changes nothing, and the
// one the install waits for still decides.
// (On Windows, where each part file is flushed as it is staged, a file system's flush is
// nothing: the thread is idle there.)
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace zip {

class BackgroundFlush {
public:
  // flush is called on the flushing thread, never twice at once; every: how many bytes are
  // written between the starts of two flushes.
  BackgroundFlush(std::function<void()> flush, uint64_t every);
  // Waits for a flush under way.
  ~BackgroundFlush();
  BackgroundFlush(const BackgroundFlush&) = delete;
  BackgroundFlush& operator=(const BackgroundFlush&) = delete;

  // That many more bytes are written: begins a flush once `every` have been since the last
  // began; while one is under way they count towards the next, which then begins as soon as
  // that one ends.
  void written(uint64_t bytes);

private:
  void work();

  const std::function<void()> flush_;
  const uint64_t every_;
  uint64_t unflushed_ = 0;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool requested_ = false;
  bool flushing_ = false;
  bool stopping_ = false;
  std::thread thread_;  // started with the first flush
};

}  // namespace zip
