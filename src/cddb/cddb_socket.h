#pragma once
// One TCP connection to a CDDB server: IPv4, one request and its reply, closed when the wrapper
// goes out of scope. Every wait (name resolution, connect, send, reply) also watches the optional
// cancel token, so the owner can abandon the connection from another thread.

#include <string>
#include <string_view>

namespace korvi {

class CancelToken;

class CCDDBSocket {
 public:
  // cancel may be null; when given it must outlive the socket.
  explicit CCDDBSocket(const CancelToken* cancel = nullptr) : m_cancel(cancel) {}
  ~CCDDBSocket() { Close(); }
  CCDDBSocket(const CCDDBSocket&) = delete;
  CCDDBSocket& operator=(const CCDDBSocket&) = delete;

  // A stream socket; true unless the system refused one.
  bool Create();

  // Takes over fd, a stream that is already connected (one end of a socketpair, say), in place
  // of Create and Connect; the wrapper closes it.
  void Adopt(int fd) {
    Close();
    m_fd = fd;
  }

  // host: a dotted IPv4 address (used as it is) or a host name (resolved, IPv4). A name that
  // does not resolve fails with kCddbErrInvalid before any connection attempt. The connect
  // itself waits as long as the system lets it, or until cancelled.
  bool Connect(const std::string& host, int port);

  // Sends all of bytes, waiting at most timeoutMs for room each time the send buffer is full.
  bool Send(std::string_view bytes, int timeoutMs);

  // recv's result: the count received, 0 when the server closed the connection, -1 on an error
  // (LastError() holds errno; EAGAIN when there was nothing to read after all).
  int Receive(char* buffer, size_t capacity);

  // Waits up to timeoutMs for data. False when the wait failed or was cancelled; otherwise true,
  // with readable false when the time ran out.
  bool WaitReadable(int timeoutMs, bool& readable);

  // -1 when no socket is open, else close's result.
  int Close();

  bool IsOpen() const { return m_fd >= 0; }

  // The cause of the latest failure: errno of the failing call, or kCddbErrInvalid,
  // kCddbErrTimedOut, kCddbErrCancelled.
  int LastError() const { return m_error; }

 private:
  bool Fail(int error);

  const CancelToken* m_cancel;
  int m_fd = -1;
  int m_error = 0;
};

}  // namespace korvi
