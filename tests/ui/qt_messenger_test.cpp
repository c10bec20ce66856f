// The messenger over Qt's event loop: where the calls run, their order, and what becomes of calls
// and waiting senders when the window goes away. Run under ThreadSanitizer too: the hand-over of
// every message between the threads must be visible to it.

#include "app/qt_messenger.h"

#include <QThread>
#include <QtTest>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

using namespace korvi;

class QtMessengerTest : public QObject {
  Q_OBJECT

 private slots:
  void aSendFromAWorkerRunsOnTheGuiThreadAndReturnsItsResult() {
    QObject target;
    QThread* handledOn = nullptr;
    int seen = 0;  // plain data: the wait in Send orders it for both threads
    QtFrameMessenger messenger(&target, [&](unsigned message, uintptr_t wParam, intptr_t lParam) {
      handledOn = QThread::currentThread();
      seen = static_cast<int>(wParam);
      if (lParam) *reinterpret_cast<int*>(lParam) = 7;
      return static_cast<intptr_t>(message) + 1;
    });
    std::atomic<bool> done{false};
    intptr_t result = 0;
    int answer = 0;
    std::thread worker([&] {
      result = messenger.Send(41, 5, reinterpret_cast<intptr_t>(&answer));
      answer += seen;
      done = true;
    });
    QTRY_VERIFY(done.load());
    worker.join();
    QCOMPARE(result, intptr_t{42});
    QCOMPARE(answer, 12);
    QCOMPARE(handledOn, QThread::currentThread());

    // On the GUI thread itself, a plain call without the event loop.
    QCOMPARE(messenger.Send(1), intptr_t{2});
  }

  void postsSendsAndRunsKeepTheirOrder() {
    QObject target;
    std::vector<int> order;
    QtFrameMessenger messenger(&target, [&](unsigned message, uintptr_t, intptr_t) {
      order.push_back(static_cast<int>(message));
      return intptr_t{0};
    });
    std::atomic<bool> done{false};
    std::thread worker([&] {
      for (int i = 0; i < 60; i += 3) {
        messenger.Post(static_cast<unsigned>(i));
        messenger.Run([&order, i] { order.push_back(i + 1); });
        messenger.Send(static_cast<unsigned>(i + 2));
      }
      done = true;
    });
    QTRY_VERIFY(done.load());
    worker.join();
    QCoreApplication::processEvents();
    QCOMPARE(order.size(), size_t{60});
    for (int i = 0; i < 60; ++i) QCOMPARE(order[static_cast<size_t>(i)], i);
  }

  void aSenderWaitingWhenTheTargetGoesIsReleasedAndLaterCallsAreDropped() {
    auto target = std::make_unique<QObject>();
    std::atomic<int> handled{0};
    QtFrameMessenger messenger(target.get(), [&](unsigned, uintptr_t, intptr_t) {
      ++handled;
      return intptr_t{9};
    });
    std::atomic<bool> queued{false};
    std::atomic<bool> done{false};
    intptr_t result = -1;
    std::thread worker([&] {
      queued = true;
      result = messenger.Send(3);  // the GUI thread serves no events until the target is gone
      done = true;
    });
    while (!queued.load()) QThread::yieldCurrentThread();
    // Most likely the worker waits by now; should it still be queueing, its Send is refused, with
    // the same result: either way nothing runs and the worker goes on.
    QThread::msleep(50);
    target.reset();
    worker.join();
    QVERIFY(done.load());
    QCOMPARE(result, intptr_t{0});

    bool ran = false;
    messenger.Post(1);
    messenger.Run([&] { ran = true; });
    QCOMPARE(messenger.Send(2), intptr_t{0});
    QVERIFY(!messenger.RunAndWait([&] { ran = true; }));
    QCoreApplication::processEvents();
    QVERIFY(!ran);
    QCOMPARE(handled.load(), 0);
  }

  void callsStillQueuedWhenTheMessengerGoesAreDroppedNotRun() {
    QObject target;
    bool ran = false;
    {
      QtFrameMessenger messenger(&target, [](unsigned, uintptr_t, intptr_t) { return intptr_t{0}; });
      messenger.Run([&] { ran = true; });
    }
    QCoreApplication::processEvents();
    QVERIFY(!ran);
    QVERIFY(target.children().isEmpty());
  }
};

QTEST_MAIN(QtMessengerTest)
#include "qt_messenger_test.moc"
