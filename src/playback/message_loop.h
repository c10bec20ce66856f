#pragma once
// The frame's messages on a thread without Qt: the command-line player's and the tests'. Send from
// another thread waits until the loop's thread has handled the message; Send on the loop's thread
// is a plain call; Post queues.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "messages/messenger.h"

namespace korvi {

class MessageLoop : public IFrameMessenger {
 public:
  using Handler = std::function<intptr_t(unsigned message, uintptr_t wParam, intptr_t lParam)>;

  // The thread that creates the loop is the one that runs it.
  explicit MessageLoop(Handler handler);
  // Senders still waiting are released with the result 0.
  ~MessageLoop() override;
  MessageLoop(const MessageLoop&) = delete;
  MessageLoop& operator=(const MessageLoop&) = delete;

  intptr_t Send(unsigned message, uintptr_t wParam = 0, intptr_t lParam = 0) override;
  void Post(unsigned message, uintptr_t wParam = 0, intptr_t lParam = 0) override;

  // Handles messages until done() holds (asked before waiting and after every message or wake-up)
  // or the timeout passes; false on the timeout.
  bool RunUntil(const std::function<bool()>& done,
                std::chrono::milliseconds timeout = std::chrono::milliseconds::max());
  // Makes RunUntil ask done() again. Safe in a signal handler.
  void Wake() const;

 private:
  struct Task {
    unsigned message;
    uintptr_t wParam;
    intptr_t lParam;
    bool sent;  // a sender waits for it
    intptr_t result = 0;
    bool handled = false;
  };

  // Handles the oldest queued message; false when none was queued.
  bool HandleOne();
  void WaitForWake(std::chrono::steady_clock::time_point deadline) const;

  Handler m_handler;
  std::thread::id m_owner;
  int m_wakeRead = -1;
  int m_wakeWrite = -1;
  std::mutex m_mutex;
  std::condition_variable m_handled;
  std::deque<std::shared_ptr<Task>> m_tasks;
  int m_waitingSenders = 0;  // under m_mutex
};

}  // namespace korvi
