#pragma once
// Lets the owner of a lookup abandon its network calls from another thread. The owner and the
// client share the token; Cancel() wakes every wait of the client at once (they all watch the
// token's descriptor beside their socket), and every later call fails at once with
// kCddbErrCancelled.

#include <atomic>
#include <memory>

namespace korvi {

class CCDDBCancelToken {
 public:
  static std::shared_ptr<CCDDBCancelToken> Create() { return std::make_shared<CCDDBCancelToken>(); }

  CCDDBCancelToken();
  ~CCDDBCancelToken();
  CCDDBCancelToken(const CCDDBCancelToken&) = delete;
  CCDDBCancelToken& operator=(const CCDDBCancelToken&) = delete;

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
