#pragma once
// Holds a worker at its next check point while the user is asked whether to stop. Unlike
// suspending the thread, the worker can never be held inside the allocator or a stream.

#include <condition_variable>
#include <mutex>

namespace korvi {

class PauseGate {
 public:
  void Pause() {
    std::lock_guard lock(m_mutex);
    m_paused = true;
  }
  void Resume() {
    {
      std::lock_guard lock(m_mutex);
      m_paused = false;
    }
    m_resumed.notify_all();
  }
  void WaitWhilePaused() {
    std::unique_lock lock(m_mutex);
    m_resumed.wait(lock, [this] { return !m_paused; });
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_resumed;
  bool m_paused = false;
};

}  // namespace korvi
