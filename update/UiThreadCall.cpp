#include "update/UiThreadCall.h"

#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <atomic>
#include <cassert>
#include <cstdint>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace update {

namespace {

using Clock = std::chrono::steady_clock;

// A short pause inside a watching loop: it tells the processor that this is a wait, which
// spares the other hardware thread of the core and the memory bus.
void relax() {
#if defined(__x86_64__) || defined(__i386__)
  _mm_pause();
#endif
}

// Watches until done() or the deadline; returns done().
template <typename Done>
bool watchUntil(Clock::time_point deadline, Done done) {
  for (;;) {
    if (done()) return true;
    if (Clock::now() >= deadline) return done();
    for (int i = 0; i < 16; ++i) relax();
  }
}

}  // namespace

// One call at a time: the worker writes `pending`, then raises `posted`; the UI thread runs
// it and raises `handled` to the same number. `listening` says that the UI thread is watching
// `posted`, so that the worker need not wake it. Both sides write their flag before they read
// the other's (sequentially consistent), so at least one of them sees the other: a call is
// never left with neither side to run it.
struct UiThreadCall::Channel {
  std::atomic<std::uint64_t> posted{0};
  std::atomic<std::uint64_t> handled{0};
  std::atomic<bool> listening{false};
  const std::function<void()>* pending = nullptr;
  Clock::time_point postedAt;    // when the pending call was made
  Clock::time_point lastRunEnd;  // UI thread only

  bool callWaiting() const {
    return posted.load(std::memory_order_seq_cst) > handled.load(std::memory_order_relaxed);
  }

  void runPending() {
    const std::uint64_t number = posted.load(std::memory_order_acquire);
    if (number == handled.load(std::memory_order_relaxed)) return;
    (*pending)();
    handled.store(number, std::memory_order_release);
    handled.notify_one();
  }

  // On the UI thread, from its event loop: runs the waiting call, then watches for the next,
  // but only when the calls have been coming quickly: this one was made within a watch's time
  // of the last one's end. A slow download so costs the UI thread no watching at all. Returns to the event
  // loop when no call comes in time or the visit has lasted long enough. While it does not
  // watch, a worker queues its call, so none is left unrun.
  void serve() {
    if (!callWaiting()) return;  // run already, by the visit that was watching
    const bool watch = postedAt - lastRunEnd < kUiWatch;
    const auto visitEnd = Clock::now() + kLongestVisit;
    for (;;) {
      runPending();
      const auto now = lastRunEnd = Clock::now();
      if (!watch || now >= visitEnd) return;
      listening.store(true, std::memory_order_seq_cst);
      watchUntil(std::min(now + kUiWatch, visitEnd), [&] { return callWaiting(); });
      listening.store(false, std::memory_order_seq_cst);
      if (!callWaiting()) return;
    }
  }

  static void queueServe(QObject* uiObject, const std::shared_ptr<Channel>& channel) {
    QMetaObject::invokeMethod(
        uiObject, [channel] { channel->serve(); }, Qt::QueuedConnection);
  }
};

UiThreadCall::UiThreadCall(QObject* uiObject)
    : uiObject_(uiObject), channel_(std::make_shared<Channel>()) {}

UiThreadCall::~UiThreadCall() = default;

void UiThreadCall::operator()(const std::function<void()>& f) {
  assert(QThread::currentThread() != uiObject_->thread());
  Channel& channel = *channel_;
  channel.pending = &f;
  channel.postedAt = Clock::now();
  const std::uint64_t number = channel.posted.load(std::memory_order_relaxed) + 1;
  channel.posted.store(number, std::memory_order_seq_cst);
  if (!channel.listening.load(std::memory_order_seq_cst)) Channel::queueServe(uiObject_, channel_);

  const auto answered = [&] { return channel.handled.load(std::memory_order_acquire) >= number; };
  if (watchUntil(Clock::now() + kWorkerWatch, answered)) return;
  for (;;) {
    const std::uint64_t seen = channel.handled.load(std::memory_order_acquire);
    if (seen >= number) return;
    channel.handled.wait(seen, std::memory_order_acquire);
  }
}

}  // namespace update
