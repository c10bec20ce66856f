#include "playback/message_loop.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace korvi {

MessageLoop::MessageLoop(Handler handler)
    : m_handler(std::move(handler)), m_owner(std::this_thread::get_id()) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
    m_wakeRead = fds[0];
    m_wakeWrite = fds[1];
  }
}

MessageLoop::~MessageLoop() {
  {
    std::lock_guard lock(m_mutex);
    for (auto& task : m_tasks) task->handled = true;
    m_tasks.clear();
  }
  m_handled.notify_all();
  // A released sender still has to take the lock back on its way out: the lock must outlive it.
  std::unique_lock lock(m_mutex);
  m_handled.wait(lock, [this] { return m_waitingSenders == 0; });
  lock.unlock();
  if (m_wakeRead >= 0) close(m_wakeRead);
  if (m_wakeWrite >= 0) close(m_wakeWrite);
}

intptr_t MessageLoop::Send(unsigned message, uintptr_t wParam, intptr_t lParam) {
  if (std::this_thread::get_id() == m_owner) return m_handler(message, wParam, lParam);
  auto task = std::make_shared<Task>(Task{message, wParam, lParam, true});
  std::unique_lock lock(m_mutex);
  m_tasks.push_back(task);
  Wake();
  ++m_waitingSenders;
  m_handled.wait(lock, [&] { return task->handled; });
  if (--m_waitingSenders == 0) m_handled.notify_all();
  return task->result;
}

void MessageLoop::Post(unsigned message, uintptr_t wParam, intptr_t lParam) {
  {
    std::lock_guard lock(m_mutex);
    m_tasks.push_back(std::make_shared<Task>(Task{message, wParam, lParam, false}));
  }
  Wake();
}

void MessageLoop::Wake() const {
  // A full pipe already holds a wake-up; nothing else can go wrong that a caller could mend.
  if (m_wakeWrite >= 0) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = write(m_wakeWrite, &byte, 1);
  }
}

bool MessageLoop::HandleOne() {
  std::unique_lock lock(m_mutex);
  if (m_tasks.empty()) return false;
  std::shared_ptr<Task> task = std::move(m_tasks.front());
  m_tasks.pop_front();
  lock.unlock();
  const intptr_t result = m_handler(task->message, task->wParam, task->lParam);
  lock.lock();
  task->result = result;
  task->handled = true;
  m_handled.notify_all();
  return true;
}

void MessageLoop::WaitForWake(std::chrono::steady_clock::time_point deadline) const {
  using namespace std::chrono;
  const auto left = duration_cast<milliseconds>(deadline - steady_clock::now()).count();
  if (left <= 0) return;
  pollfd fd{m_wakeRead, POLLIN, 0};
  poll(&fd, 1, left > 60000 ? 60000 : static_cast<int>(left));
  char drain[64];
  while (read(m_wakeRead, drain, sizeof drain) > 0) {
  }
}

bool MessageLoop::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  using namespace std::chrono;
  const auto now = steady_clock::now();
  const auto deadline = timeout >= duration_cast<milliseconds>(steady_clock::time_point::max() - now)
                            ? steady_clock::time_point::max()
                            : now + timeout;
  for (;;) {
    // done() is asked before each wait, and a wake-up stays in the pipe until then: none is lost.
    while (HandleOne()) {
      if (done()) return true;
    }
    if (done()) return true;
    if (steady_clock::now() >= deadline) return false;
    WaitForWake(deadline);
  }
}

}  // namespace korvi
