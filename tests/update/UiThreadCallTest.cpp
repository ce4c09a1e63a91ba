// Calls from a worker onto the UI thread: each runs there, in order, before the worker goes on,
// whether the UI thread was watching for it or had to be woken; the event loop keeps running
// during a long burst of calls.
#include "update/UiThreadCall.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QEventLoop>
#include <QSemaphore>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <memory>

namespace update {
namespace {

// Runs work on a new thread while the UI thread's event loop turns; returns when it ends.
template <typename Work>
void onWorker(Work work) {
  QEventLoop loop;
  std::unique_ptr<QThread> worker(QThread::create(work));
  QObject::connect(worker.get(), &QThread::finished, &loop, &QEventLoop::quit);
  worker->start();
  loop.exec();
  worker->wait();
}

// Back-to-back calls are the case where the UI thread serves them while watching. The worker
// goes on calling until a timer set on the UI thread has fired, which it can only do from
// the event loop: a UI thread kept away from its loop would make this test hang.
TEST(UiThreadCall, BackToBackCallsRunOnTheUiThreadInOrderAndLetTheEventLoopTurn) {
  QObject uiObject;
  QThread* const uiThread = QThread::currentThread();
  std::atomic<bool> timerFired = false;
  QTimer::singleShot(0, &uiObject, [&] { timerFired = true; });

  long long ran = 0;  // written on the UI thread only
  long long made = 0;
  long long offThread = 0;
  long long outOfOrder = 0;
  onWorker([&] {
    UiThreadCall onUiThread(&uiObject);
    while (!timerFired || made < 20000) {
      ++made;
      onUiThread([&] {
        if (QThread::currentThread() != uiThread) ++offThread;
        ++ran;
      });
      if (ran != made) ++outOfOrder;
    }
  });
  QCoreApplication::processEvents();  // wake-ups that found their call already run
  EXPECT_EQ(ran, made);
  EXPECT_EQ(offThread, 0);
  EXPECT_EQ(outOfOrder, 0);
}

// Calls that come when the UI thread has gone back to its event loop must wake it. Each call
// here queues a zero timer; the worker makes its next call only once that has fired, and so
// only once the UI thread has left the call and stopped watching.
TEST(UiThreadCall, CallsAfterTheUiThreadStoppedWatchingWakeIt) {
  QObject uiObject;
  QSemaphore backInLoop;
  int ran = 0;
  onWorker([&] {
    UiThreadCall onUiThread(&uiObject);
    for (int i = 0; i < 50; ++i) {
      onUiThread([&] {
        ++ran;
        QTimer::singleShot(0, &uiObject, [&] { backInLoop.release(); });
      });
      backInLoop.acquire();
    }
  });
  EXPECT_EQ(ran, 50);
}

// Calls that keep the UI thread longer than the worker watches for the answer: the worker
// sleeps for each one and must be woken every time. A lost wake-up leaves it asleep for ever,
// and this test hangs until its time limit.
TEST(UiThreadCall, AWorkerThatSleepsForItsAnswerIsAlwaysWoken) {
  QObject uiObject;
  int ran = 0;
  onWorker([&] {
    UiThreadCall onUiThread(&uiObject);
    for (int i = 0; i < 3000; ++i) {
      onUiThread([&] {
        const auto until = std::chrono::steady_clock::now() + 2 * UiThreadCall::kWorkerWatch;
        while (std::chrono::steady_clock::now() < until) {
        }
        ++ran;
      });
    }
  });
  EXPECT_EQ(ran, 3000);
}

}  // namespace
}  // namespace update
