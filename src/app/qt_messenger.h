#pragma once
// The messenger over Qt's event loop: send blocks a worker until the GUI thread has handled the
// message, post queues it. Any other call a worker needs on the GUI thread goes the same way.
//
// The hand-over between the threads is a queue under our own lock, and Qt only wakes the GUI thread
// to take the next entry: Qt is not built with ThreadSanitizer, so its own queue and semaphores are
// invisible to it, and every message would look like a race.

#include <QObject>
#include <functional>
#include <memory>

#include "messages/messenger.h"

namespace korvi {

class QtFrameMessenger : public IFrameMessenger {
 public:
  using Handler = std::function<intptr_t(unsigned message, uintptr_t wParam, intptr_t lParam)>;

  // target lives on the GUI thread, and the messenger is made there; handler runs there.
  QtFrameMessenger(QObject* target, Handler handler);
  // Calls still queued are dropped; a sender still waiting gets 0.
  ~QtFrameMessenger() override;
  QtFrameMessenger(const QtFrameMessenger&) = delete;
  QtFrameMessenger& operator=(const QtFrameMessenger&) = delete;

  // From now on nothing queued or sent runs: a sender still waiting, or sending later, gets 0 at
  // once. On the target's thread, for its teardown: no worker is left waiting on it.
  void Close();

  intptr_t Send(unsigned message, uintptr_t wParam = 0, intptr_t lParam = 0) override;
  void Post(unsigned message, uintptr_t wParam = 0, intptr_t lParam = 0) override;

  // Queues fn for the target's thread; calls run in the order they were queued. Dropped once the
  // target is gone.
  void Run(std::function<void()> fn);
  // Runs fn on the target's thread and waits until it has run (a plain call on that thread
  // itself); false when the target went away first and fn did not run.
  bool RunAndWait(const std::function<void()>& fn);

  struct Shared;

 private:
  std::shared_ptr<Shared> m_shared;
  Handler m_handler;
};

}  // namespace korvi
