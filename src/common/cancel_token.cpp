#include "common/cancel_token.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace korvi {

CancelToken::CancelToken() : m_eventFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

CancelToken::~CancelToken() {
  if (m_eventFd >= 0) close(m_eventFd);
}

void CancelToken::Cancel() {
  m_cancelled.store(true, std::memory_order_release);
  if (m_eventFd < 0) return;
  // The counter is never read back, so the descriptor stays readable from now on.
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = write(m_eventFd, &one, sizeof one);
}

}  // namespace korvi
