#include "cddb/cddb_socket.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

#include "common/cancel_token.h"
#include "cddb/cddb_errors.h"

namespace korvi {
namespace {

using Clock = std::chrono::steady_clock;

enum class WaitResult { kReady, kTimedOut, kFailed, kCancelled };

// Without a wake descriptor the cancel flag is looked at this often.
constexpr int kCancelSliceMs = 50;

int RemainingMs(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

// Waits until fd has one of events, the time runs out (timeoutMs < 0: never) or the token is
// cancelled. errno holds the cause of kFailed.
WaitResult WaitFor(int fd, short events, int timeoutMs, const CancelToken* cancel) {
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
  const int wakeFd = cancel ? cancel->WakeDescriptor() : -1;
  for (;;) {
    if (cancel && cancel->IsCancelled()) return WaitResult::kCancelled;
    int slice = timeoutMs < 0 ? -1 : RemainingMs(deadline);
    if (cancel && wakeFd < 0 && (slice < 0 || slice > kCancelSliceMs)) slice = kCancelSliceMs;
    pollfd fds[2] = {{fd, events, 0}, {wakeFd, POLLIN, 0}};
    const int result = poll(fds, wakeFd >= 0 ? 2 : 1, slice);
    if (result < 0 && errno != EINTR) return WaitResult::kFailed;
    if (cancel && cancel->IsCancelled()) return WaitResult::kCancelled;
    if (result > 0 && fds[0].revents != 0) return WaitResult::kReady;
    if (timeoutMs >= 0 && RemainingMs(deadline) == 0) return WaitResult::kTimedOut;
  }
}

std::optional<in_addr> LookUp(const std::string& host) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found) return std::nullopt;
  std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> owner(found, &freeaddrinfo);
  return reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
}

// The state a resolver thread shares with the connect that waits for it. It lives as long as
// either side holds it, so an abandoned resolver finishes harmlessly on its own.
struct Resolution {
  std::mutex mutex;
  std::optional<in_addr> address;
  int doneFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  ~Resolution() {
    if (doneFd >= 0) close(doneFd);
  }
};

enum class ResolveResult { kFound, kNotFound, kCancelled };

ResolveResult Found(const std::optional<in_addr>& address, in_addr& out) {
  if (!address) return ResolveResult::kNotFound;
  out = *address;
  return ResolveResult::kFound;
}

// The name service cannot be interrupted, so with a cancel token the lookup runs on a thread of
// its own; a cancelled connect leaves that thread to finish by itself.
ResolveResult Resolve(const std::string& host, const CancelToken* cancel, in_addr& out) {
  if (!cancel) return Found(LookUp(host), out);
  auto job = std::make_shared<Resolution>();
  if (job->doneFd < 0) return Found(LookUp(host), out);
  std::thread resolver;
  try {
    resolver = std::thread([job, host] {
      std::optional<in_addr> address = LookUp(host);
      std::lock_guard<std::mutex> lock(job->mutex);
      job->address = address;
      const uint64_t one = 1;
      [[maybe_unused]] const ssize_t written = write(job->doneFd, &one, sizeof one);
    });
  } catch (const std::system_error&) {
    return Found(LookUp(host), out);
  }
  const WaitResult waited = WaitFor(job->doneFd, POLLIN, -1, cancel);
  if (waited == WaitResult::kCancelled) {
    resolver.detach();
    return ResolveResult::kCancelled;
  }
  resolver.join();
  std::lock_guard<std::mutex> lock(job->mutex);
  return Found(job->address, out);
}

int CauseOf(WaitResult result) {
  switch (result) {
    case WaitResult::kCancelled:
      return kCddbErrCancelled;
    case WaitResult::kTimedOut:
      return kCddbErrTimedOut;
    default:
      return errno;
  }
}

}  // namespace

bool CCDDBSocket::Fail(int error) {
  m_error = error;
  return false;
}

bool CCDDBSocket::Create() {
  Close();
  m_fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  return m_fd >= 0 || Fail(errno);
}

bool CCDDBSocket::Connect(const std::string& host, int port) {
  if (m_cancel && m_cancel->IsCancelled()) return Fail(kCddbErrCancelled);
  if (m_fd < 0) return Fail(EBADF);
  if (port <= 0 || port > 65535 || host.empty()) return Fail(kCddbErrInvalid);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  if (inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1) {
    const ResolveResult resolved = Resolve(host, m_cancel, address.sin_addr);
    if (resolved == ResolveResult::kCancelled) return Fail(kCddbErrCancelled);
    if (resolved == ResolveResult::kNotFound) return Fail(kCddbErrInvalid);
  }
  if (connect(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return true;
  if (errno != EINPROGRESS && errno != EINTR) return Fail(errno);
  const WaitResult waited = WaitFor(m_fd, POLLOUT, -1, m_cancel);
  if (waited != WaitResult::kReady) return Fail(CauseOf(waited));
  int error = 0;
  socklen_t length = sizeof error;
  if (getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return Fail(errno);
  return error == 0 || Fail(error);
}

bool CCDDBSocket::Send(std::string_view bytes, int timeoutMs) {
  while (!bytes.empty()) {
    if (m_cancel && m_cancel->IsCancelled()) return Fail(kCddbErrCancelled);
    // MSG_NOSIGNAL: a server that has gone away must not end the program with SIGPIPE.
    const ssize_t sent = send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent > 0) {
      bytes.remove_prefix(static_cast<size_t>(sent));
      continue;
    }
    if (sent < 0 && errno == EINTR) continue;
    if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return Fail(errno);
    const WaitResult waited = WaitFor(m_fd, POLLOUT, timeoutMs, m_cancel);
    if (waited != WaitResult::kReady) return Fail(CauseOf(waited));
  }
  return true;
}

int CCDDBSocket::Receive(char* buffer, size_t capacity) {
  for (;;) {
    const ssize_t received = recv(m_fd, buffer, capacity, 0);
    if (received >= 0) return static_cast<int>(received);
    if (errno != EINTR) {
      m_error = errno;
      return -1;
    }
  }
}

bool CCDDBSocket::WaitReadable(int timeoutMs, bool& readable) {
  readable = false;
  const WaitResult waited = WaitFor(m_fd, POLLIN, timeoutMs, m_cancel);
  if (waited == WaitResult::kFailed || waited == WaitResult::kCancelled) return Fail(CauseOf(waited));
  readable = waited == WaitResult::kReady;
  return true;
}

int CCDDBSocket::Close() {
  if (m_fd < 0) return -1;
  const int result = close(m_fd);
  m_fd = -1;
  return result;
}

}  // namespace korvi
