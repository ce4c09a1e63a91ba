#include "update/UiThreadCall.h"

#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <atomic>
#include <cassert>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace update {

namespace {

using Clock = std::chrono::steady_clock;

// Watches until done() or the deadline; returns done(). Each look yields the processor: on a
// busy machine, watching must not take time from the threads that have work, among them the
// one that is to make the call or the answer watched for.
template <typename Done>
bool watchUntil(Clock::time_point deadline, Done done) {
  for (;;) {
    if (done()) return true;
    if (Clock::now() >= deadline) return done();
    std::this_thread::yield();
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
  // A worker that stopped watching sleeps on `answered`. Not atomic::wait: libstdc++ 12 on
  // Windows, which has no futex, can lose its wake-up (GCC bug 106183), and the worker then
  // sleeps for ever; `handled` is raised under the mutex, so a sleeper never misses it.
  std::mutex mutex;
  std::condition_variable answered;
  const std::function<void()>* pending = nullptr;
  // Whether the worker made the pending call soon after its last one returned.
  bool comingQuickly = false;
  Clock::time_point lastReturn;  // worker only

  bool callWaiting() const {
    return posted.load(std::memory_order_seq_cst) > handled.load(std::memory_order_relaxed);
  }

  void runPending() {
    const std::uint64_t number = posted.load(std::memory_order_acquire);
    if (number == handled.load(std::memory_order_relaxed)) return;
    (*pending)();
    {
      const std::lock_guard lock(mutex);
      handled.store(number, std::memory_order_release);
    }
    answered.notify_one();
  }

  // On the UI thread, from its event loop: runs the waiting call, then watches for the next,
  // but only when the calls have been coming quickly: the worker made this one within a
  // watch's time of the last one's return. A slow download so costs the UI thread no watching.
  // Returns to the event loop when no call comes in time or the visit has lasted long enough.
  // While it does not watch, a worker queues its call, so none is left unrun.
  void serve() {
    if (!callWaiting()) return;  // run already, by the visit that was watching
    const bool watch = comingQuickly;
    const auto visitEnd = Clock::now() + kLongestVisit;
    for (;;) {
      runPending();
      const auto now = Clock::now();
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
  channel.comingQuickly = Clock::now() - channel.lastReturn < kUiWatch;
  const std::uint64_t number = channel.posted.load(std::memory_order_relaxed) + 1;
  channel.posted.store(number, std::memory_order_seq_cst);
  if (!channel.listening.load(std::memory_order_seq_cst)) Channel::queueServe(uiObject_, channel_);

  const auto answered = [&] { return channel.handled.load(std::memory_order_acquire) >= number; };
  if (!watchUntil(Clock::now() + kWorkerWatch, answered)) {
    std::unique_lock lock(channel.mutex);
    channel.answered.wait(lock, answered);
  }
  channel.lastReturn = Clock::now();
}

}  // namespace update
