// UiThreadCall: runs a function on the UI thread for a worker and waits until it has run, as
// QMetaObject::invokeMethod does with Qt::BlockingQueuedConnection, only cheaper when the calls
// come quickly.
//
// A download makes one such call for every 32 KiB piece. A queued call puts the worker to
// sleep and wakes the UI thread's event loop, then wakes the worker again: four scheduler
// switches a piece, which on a fast connection cost more than the piece's own transfer. So
// while calls come quickly, the UI thread keeps watching for the next one for a short while
// after each before it goes back to its event loop, and the worker watches for the answer
// before it sleeps. Then no thread sleeps between calls; the UI thread still returns to its
// event loop at least every kLongestVisit, so the window stays responsive.
#pragma once

#include <chrono>
#include <functional>
#include <memory>

class QObject;

namespace update {

class UiThreadCall {
public:
  // How long the UI thread watches for the next call after one has run, when the calls come
  // at least that often.
  static constexpr std::chrono::microseconds kUiWatch{200};
  // How long a worker watches for the answer before it sleeps until it comes.
  static constexpr std::chrono::microseconds kWorkerWatch{100};
  // How long the UI thread may stay away from its event loop serving calls.
  static constexpr std::chrono::milliseconds kLongestVisit{4};

  // Calls run on uiObject's thread.
  explicit UiThreadCall(QObject* uiObject);
  ~UiThreadCall();
  UiThreadCall(const UiThreadCall&) = delete;
  UiThreadCall& operator=(const UiThreadCall&) = delete;

  // Runs f on the UI thread and returns once it has run. Called from one thread other than
  // the UI thread at a time. f must not throw. Like a blocking queued call, it waits forever
  // when the UI thread's event loop does not run.
  void operator()(const std::function<void()>& f);

private:
  struct Channel;
  QObject* uiObject_;
  // Shared with the queued calls that wake the UI thread: one may arrive after this object
  // is gone, finds nothing to run and lets the channel go.
  std::shared_ptr<Channel> channel_;
};

}  // namespace update
