// CCDDB::ReadResponse on a scripted connection: the input is a script of what a server sends,
// delivered through a real socket before the reader starts, so every wait is decided by what is
// queued and no input takes real time.
//
// Script: byte 0 flags (1: status check, 2: no terminator, 4: stay silent at the end instead of
// closing), byte 1 the reader's chunk size (0: the client's own), byte 2 the size limit in units
// of 16 bytes (0: the client's own), then pieces: a length byte (0: the rest) and that many bytes.
// Each piece goes out as messages of at most one chunk, on a socket that keeps message
// boundaries, so the reader meets the server's pieces as they were sent.
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "cddb/cddb_client.h"
#include "cddb/cddb_socket.h"
#include "fuzz_checks.h"

namespace {

constexpr uint8_t kStatusCheck = 1;
constexpr uint8_t kNoTerminator = 2;
constexpr uint8_t kStaySilent = 4;
constexpr size_t kConfigBytes = 3;

struct Script {
  bool statusCheck = false;
  std::string_view terminator = korvi::kCddbTerminator;
  bool close = true;
  size_t chunkSize = korvi::kCddbChunkSize;
  size_t maxBytes = korvi::kCddbMaxReplyBytes;
  std::string_view pieces;
};

Script ReadScript(std::string_view input) {
  Script script;
  const auto byte = [&](size_t i) { return i < input.size() ? static_cast<uint8_t>(input[i]) : uint8_t{0}; };
  script.statusCheck = byte(0) & kStatusCheck;
  if (byte(0) & kNoTerminator) script.terminator = {};
  script.close = !(byte(0) & kStaySilent);
  if (byte(1)) script.chunkSize = byte(1);
  if (byte(2)) script.maxBytes = size_t{byte(2)} * 16;
  script.pieces = input.size() > kConfigBytes ? input.substr(kConfigBytes) : std::string_view{};
  return script;
}

class Descriptor {
 public:
  explicit Descriptor(int fd) : m_fd(fd) {}
  ~Descriptor() { Close(); }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int Get() const { return m_fd; }
  void Close() {
    if (m_fd >= 0) close(m_fd);
    m_fd = -1;
  }

 private:
  int m_fd;
};

// Sends the pieces as messages of at most chunkSize bytes; the bytes that went out. A full send
// buffer ends the script there, as a server that stops sending would.
std::string Deliver(int fd, const Script& script) {
  std::string sent;
  std::string_view rest = script.pieces;
  while (!rest.empty()) {
    const size_t stated = static_cast<uint8_t>(rest[0]);
    rest.remove_prefix(1);
    std::string_view piece = rest.substr(0, stated ? stated : rest.size());
    rest.remove_prefix(piece.size());
    while (!piece.empty()) {
      const std::string_view message = piece.substr(0, script.chunkSize);
      if (send(fd, message.data(), message.size(), MSG_NOSIGNAL | MSG_DONTWAIT) != ssize_t(message.size()))
        return sent;
      sent += message;
      piece.remove_prefix(message.size());
    }
  }
  return sent;
}

void CheckSuccess(const Script& script, const std::string& sent, const std::string& reply) {
  using korvi::fuzz::Require;
  Require(reply.size() <= script.maxBytes);
  Require(std::string_view(sent).starts_with(reply));
  if (script.terminator.empty()) {
    Require(script.statusCheck);
    return;
  }
  Require(reply.find(script.terminator) == std::string::npos);
  Require(script.statusCheck || std::string_view(sent).substr(reply.size()).starts_with(script.terminator));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Script script = ReadScript(std::string_view(reinterpret_cast<const char*>(data), size));
  int fds[2];
  if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds) != 0) return 0;
  korvi::CCDDBSocket socket;
  socket.Adopt(fds[0]);
  Descriptor server(fds[1]);
  fcntl(fds[0], F_SETFL, O_NONBLOCK);

  const std::string sent = Deliver(server.Get(), script);
  if (script.close) server.Close();

  korvi::CCDDB client;
  client.SetWaitTimeout(0);  // everything is queued already: an empty queue is a silent server
  client.SetReplyLimits(script.maxBytes, 60000);
  std::string reply;
  const bool ok = client.ReadResponse(socket, script.terminator, reply, script.chunkSize, script.statusCheck);

  using korvi::fuzz::Require;
  if (ok) {
    CheckSuccess(script, sent, reply);
  } else {
    const std::string& kept = client.LastReplyText();
    Require(kept.size() <= script.maxBytes + 1 && std::string_view(sent).starts_with(kept));
    Require(client.LastError() == 0 || client.LastError() == korvi::kCddbErrTimedOut);
  }
  // A terminator that ends within the limit completes the reply, however the pieces fell.
  const size_t end = script.terminator.empty() ? std::string::npos : sent.find(script.terminator);
  if (!script.statusCheck && end != std::string::npos && end + script.terminator.size() <= script.maxBytes)
    Require(ok && reply == sent.substr(0, end));
  return 0;
}
