#include "zip/DecodeLanes.h"

#include <array>
#include <exception>
#include <utility>

#include "zip/TraditionalCipher.h"

namespace zip {

template <typename Step>
void DecodeLanes::step(Lane& lane, Step&& work) {
  if (lane.ended) return;
  try {
    work();
  } catch (const std::exception& failure) {
    fail(lane, failure.what());
  } catch (...) {
    fail(lane, "unknown error");
  }
}

void DecodeLanes::start(std::unique_ptr<DecodeJob> job, std::promise<DecodeJob::Failure> done) {
  Lane& lane = lanes_.emplace_back();
  lane.job = std::move(job);
  lane.done = std::move(done);
  if (spareBuffers_.empty()) {
    lane.buffers = std::make_unique<DecodeBuffers>();
  } else {
    lane.buffers = std::move(spareBuffers_.back());
    spareBuffers_.pop_back();
  }
  step(lane, [&] {
    lane.reader = lane.job->start(*lane.buffers);
    if (lane.reader == nullptr) end(lane);
  });
  removeEnded();
}

void DecodeLanes::advance() {
  std::array<TraditionalCipher::Stream, maxLanes> encrypted;
  size_t count = 0;
  for (Lane& lane : lanes_) {
    step(lane, [&] {
      const std::span<std::byte> read = lane.reader->readInput();
      if (TraditionalCipher* cipher = lane.reader->cipher()) encrypted.at(count++) = {cipher, read};
    });
  }
  TraditionalCipher::decryptTogether(std::span(encrypted).first(count));
  for (Lane& lane : lanes_) {
    step(lane, [&] {
      if (lane.reader->decodeInput()) end(lane);
    });
  }
  removeEnded();
}

void DecodeLanes::end(Lane& lane) {
  lane.job->finish();
  lane.done.set_value(std::nullopt);
  lane.ended = true;
}

// The failure crosses to the thread that reads the future as text. An exception object would
// cross too, but the C++ runtime frees it under reference counts that ThreadSanitizer does not
// see (libstdc++ is not instrumented), so every failed entry would be reported as a race.
void DecodeLanes::fail(Lane& lane, const char* failure) {
  lane.job->abandon();
  lane.done.set_value(std::string(failure));
  lane.ended = true;
}

// An ended lane's buffers wait for the next job.
void DecodeLanes::removeEnded() {
  for (Lane& lane : lanes_) {
    if (lane.ended) spareBuffers_.push_back(std::move(lane.buffers));
  }
  std::erase_if(lanes_, [](const Lane& lane) { return lane.ended; });
}

}  // namespace zip
