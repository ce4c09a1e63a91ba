// The entries one decoding thread advances together. Each round reads the next input of every
// entry that needs some, decrypts all of it together (TraditionalCipher::decryptTogether), then
// decodes each entry's input, so that encrypted entries share a core's time better than one
// after another.
#pragma once

#include <cstddef>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "zip/EntryReader.h"

namespace zip {

// One entry's work, in the steps the lanes drive. Whatever a step throws ends the job, and its
// text goes to the job's future.
class DecodeJob {
public:
  // What a job's future holds: nothing when the job ended whole, otherwise the text of what
  // ended it ("unknown error" for what is not a std::exception).
  using Failure = std::optional<std::string>;

  virtual ~DecodeJob() = default;
  // Runs first, with the buffers the job keeps until it ends; returns the reader to decode
  // with, begun on those buffers, or null when there is nothing to decode.
  virtual EntryReader* start(DecodeBuffers& buffers) = 0;
  // Runs last, once the decoding is whole and checked, or at once when start returned null.
  virtual void finish() = 0;
  // Runs instead, when a step failed: lets go at once of what the job holds.
  virtual void abandon() noexcept {}
};

class DecodeLanes {
public:
  // Many more than the four streams decrypted at once: entries' data comes in parts of
  // different lengths, and a lane whose entry ends takes the next only between rounds.
  static constexpr size_t maxLanes = 16;

  DecodeLanes() = default;
  DecodeLanes(const DecodeLanes&) = delete;
  DecodeLanes& operator=(const DecodeLanes&) = delete;

  size_t size() const { return lanes_.size(); }
  bool empty() const { return lanes_.empty(); }

  // Starts the job in a lane of its own, or ends it at once when it has nothing to decode.
  void start(std::unique_ptr<DecodeJob> job, std::promise<DecodeJob::Failure> done);
  // One round over every lane; the jobs that end leave their lanes.
  void advance();
  // Advances until every job has ended.
  void runAll() {
    while (!empty()) advance();
  }

private:
  struct Lane {
    std::unique_ptr<DecodeJob> job;
    std::promise<DecodeJob::Failure> done;
    std::unique_ptr<DecodeBuffers> buffers;
    EntryReader* reader = nullptr;
    bool ended = false;
  };

  // Runs one step of the lane's job; a step that throws ends it with that failure.
  template <typename Step>
  void step(Lane& lane, Step&& work);
  void end(Lane& lane);
  void fail(Lane& lane, const char* failure);
  void removeEnded();

  std::vector<Lane> lanes_;
  std::vector<std::unique_ptr<DecodeBuffers>> spareBuffers_;
};

}  // namespace zip
