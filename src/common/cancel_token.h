#pragma once
// Lets the owner of a piece of work (a lookup, a fetch) abandon it from another thread. The owner
// and the worker share the token; Cancel() wakes every wait of the worker at once (they all watch
// the token's descriptor beside their socket), and every later call of the worker fails at once,
// each with its own cancelled error.

#include <atomic>
#include <memory>

namespace korvi {

class CancelToken {
 public:
  static std::shared_ptr<CancelToken> Create() { return std::make_shared<CancelToken>(); }

  CancelToken();
  ~CancelToken();
  CancelToken(const CancelToken&) = delete;
  CancelToken& operator=(const CancelToken&) = delete;

  // Any thread, any number of times.
  void Cancel();
  bool IsCancelled() const { return m_cancelled.load(std::memory_order_acquire); }

  // Readable once cancelled; -1 when the system had no descriptor to spare, and waits then
  // look at the flag in short slices instead.
  int WakeDescriptor() const { return m_eventFd; }

 private:
  std::atomic<bool> m_cancelled{false};
  int m_eventFd = -1;
};

}  // namespace korvi
