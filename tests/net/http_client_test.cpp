// Fetching AccurateRip files over HTTP against a real server on 127.0.0.1: whole replies, missing
// files, every way the server can fail, cancellation from another thread, and the server variable.

#include "net/http_client.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "fixtures/http_server.h"
#include "fixtures/time_scale.h"
#include "net/accuraterip_fetch.h"

namespace korvi {
namespace {

using fixtures::HttpTestServer;
using ::testing::StartsWith;
using Mode = HttpTestServer::Mode;
using Clock = std::chrono::steady_clock;
using Kind = AccurateRipFetch::Kind;

constexpr const char* kPath = "/accuraterip/3/c/2/dBAR-012-0001d2c3-00ab12cd-a10b970c.bin";

int64_t MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Every byte value, so that nothing on the way treats the body as text.
std::vector<uint8_t> BinaryBody(size_t size) {
  std::vector<uint8_t> body(size);
  for (size_t i = 0; i < size; ++i) body[i] = static_cast<uint8_t>((i * 7 + i / 256) & 0xFF);
  return body;
}

HttpTestServer::Response Reply(int status, const std::vector<uint8_t>& body) {
  return {Mode::kReply, status, std::string(body.begin(), body.end()), 0, false};
}

class AccurateRipFetchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_server.Start());
    // A proxy from the environment would see requests meant for the loopback.
    setenv("no_proxy", "127.0.0.1", 1);
    setenv(kAccurateRipServerVariable, m_server.HostPort().c_str(), 1);
    m_limits.totalMs = fixtures::ScaledMs(10000);
    m_limits.stallMs = fixtures::ScaledMs(300);
  }
  void TearDown() override { unsetenv(kAccurateRipServerVariable); }

  HttpTestServer m_server;
  HttpLimits m_limits = AccurateRipLimits();
};

TEST_F(AccurateRipFetchTest, FoundFileArrivesWholeWithOurUserAgent) {
  const std::vector<uint8_t> body = BinaryBody(300000);
  m_server.SetResponse(kPath, Reply(200, body));
  const AccurateRipFetch fetch = FetchAccurateRip(kPath, nullptr, m_limits);
  ASSERT_EQ(fetch.kind, Kind::kFound) << fetch.error;
  EXPECT_EQ(fetch.bytes, body);
  EXPECT_TRUE(fetch.error.empty());

  const std::vector<HttpTestServer::Request> requests = m_server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].line, std::string("GET ") + kPath + " HTTP/1.1");
  EXPECT_EQ(requests[0].Header("Host"), m_server.HostPort());
  EXPECT_EQ(requests[0].Header("User-Agent"), std::string("Korvi-CD-Ripper/") + KORVI_EXPECTED_VERSION);
  EXPECT_EQ(HttpUserAgent(), requests[0].Header("User-Agent"));
}

TEST_F(AccurateRipFetchTest, MissingFileIsNotInDatabaseAndOtherStatusesAreNotReachable) {
  const AccurateRipFetch missing = FetchAccurateRip(kPath, nullptr, m_limits);
  EXPECT_EQ(missing.kind, Kind::kNotInDatabase) << missing.error;
  EXPECT_TRUE(missing.bytes.empty());

  m_server.SetResponse(kPath, Reply(500, BinaryBody(10)));
  const AccurateRipFetch failing = FetchAccurateRip(kPath, nullptr, m_limits);
  EXPECT_EQ(failing.kind, Kind::kNotReachable);
  EXPECT_EQ(failing.error, m_server.HostPort() + " answered 500 Internal Server Error");

  const HttpReply reply = HttpGet(m_server.Url(kPath), m_limits);
  EXPECT_EQ(reply.kind, HttpReply::Kind::kHttpStatus);
  EXPECT_EQ(reply.status, 500);
  EXPECT_EQ(reply.body, BinaryBody(10));
}

TEST_F(AccurateRipFetchTest, TruncatedReplyIsCutOff) {
  m_server.SetResponse(kPath, {Mode::kTruncated, 200, std::string(1000, 'x'), 500, false});
  const AccurateRipFetch fetch = FetchAccurateRip(kPath, nullptr, m_limits);
  EXPECT_EQ(fetch.kind, Kind::kNotReachable);
  EXPECT_TRUE(fetch.bytes.empty());
  EXPECT_EQ(fetch.error, m_server.HostPort() + ": reply cut off after 1000 bytes");
}

TEST_F(AccurateRipFetchTest, SilentServerTimesOutAtTheStallLimit) {
  m_server.SetResponse(kPath, {Mode::kStall, 200, {}, 0, false});
  const Clock::time_point start = Clock::now();
  const AccurateRipFetch fetch = FetchAccurateRip(kPath, nullptr, m_limits);
  const int64_t elapsedMs = MsSince(start);
  EXPECT_EQ(fetch.kind, Kind::kNotReachable);
  EXPECT_THAT(fetch.error, StartsWith(m_server.HostPort() + " timed out: nothing received for "));
  EXPECT_GE(elapsedMs, m_limits.stallMs);
  EXPECT_LT(elapsedMs, m_limits.totalMs);
  EXPECT_TRUE(m_server.WaitForClosed(1, fixtures::ScaledMs(2000)));

  // The limit for the whole reply holds too, however long silences may be.
  HttpLimits patient = m_limits;
  patient.stallMs = fixtures::ScaledMs(60000);
  patient.totalMs = fixtures::ScaledMs(400);
  const Clock::time_point again = Clock::now();
  const AccurateRipFetch slow = FetchAccurateRip(kPath, nullptr, patient);
  EXPECT_THAT(slow.error, StartsWith(m_server.HostPort() + " timed out: no whole reply within "));
  EXPECT_GE(MsSince(again), patient.totalMs);
  EXPECT_LT(MsSince(again), patient.totalMs + fixtures::ScaledMs(2000));
}

TEST_F(AccurateRipFetchTest, ReplyPastTheSizeLimitIsRefused) {
  m_limits.maxBodyBytes = 4096;
  m_server.SetResponse("/exact", Reply(200, BinaryBody(4096)));
  m_server.SetResponse("/over", Reply(200, BinaryBody(4097)));
  m_server.SetResponse("/declared", {Mode::kHuge, 200, {}, 8u << 20, false});
  m_server.SetResponse("/undeclared", {Mode::kHuge, 200, {}, 8u << 20, true});

  const AccurateRipFetch exact = FetchAccurateRip("/exact", nullptr, m_limits);
  ASSERT_EQ(exact.kind, Kind::kFound) << exact.error;
  EXPECT_EQ(exact.bytes, BinaryBody(4096));
  const std::string refused = m_server.HostPort() + ": reply larger than 4096 bytes";
  for (const char* path : {"/over", "/declared", "/undeclared"}) {
    const AccurateRipFetch fetch = FetchAccurateRip(path, nullptr, m_limits);
    EXPECT_EQ(fetch.kind, Kind::kNotReachable) << path;
    EXPECT_EQ(fetch.error, refused) << path;
    EXPECT_TRUE(fetch.bytes.empty()) << path;
  }
  // The client leaves the endless bodies rather than reading them to their end.
  EXPECT_TRUE(m_server.WaitForClosed(4, fixtures::ScaledMs(5000)));
}

TEST_F(AccurateRipFetchTest, CancelFromAnotherThreadEndsAStalledRequestAtOnce) {
  m_server.SetResponse(kPath, {Mode::kStall, 200, {}, 0, false});
  m_limits.stallMs = m_limits.totalMs = fixtures::ScaledMs(60000);
  const std::shared_ptr<CancelToken> token = CancelToken::Create();
  Clock::time_point cancelledAt;
  std::thread canceller([&] {
    if (m_server.WaitForRequests(1, fixtures::ScaledMs(5000)))
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    cancelledAt = Clock::now();
    token->Cancel();
  });
  const HttpReply reply = HttpGet(m_server.Url(kPath), m_limits, token.get());
  const Clock::time_point returnedAt = Clock::now();
  canceller.join();
  ASSERT_EQ(m_server.Requests().size(), 1u);
  EXPECT_EQ(reply.kind, HttpReply::Kind::kCancelled);
  EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(returnedAt - cancelledAt).count(),
            fixtures::ScaledMs(200));
  EXPECT_TRUE(m_server.WaitForClosed(1, fixtures::ScaledMs(2000)));

  // A cancelled token asks nothing more of the server.
  const AccurateRipFetch later = FetchAccurateRip(kPath, token.get(), m_limits);
  EXPECT_EQ(later.kind, Kind::kNotReachable);
  EXPECT_EQ(later.error, "the request was stopped");
  EXPECT_EQ(m_server.Requests().size(), 1u);
}

TEST_F(AccurateRipFetchTest, PortWithoutServerIsNotReachable) {
  // Bound but not listening: connections to it are refused, and no other program can take it.
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(fd, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length), 0);
  const std::string hostPort = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));
  setenv(kAccurateRipServerVariable, hostPort.c_str(), 1);
  const AccurateRipFetch fetch = FetchAccurateRip(kPath, nullptr, m_limits);
  close(fd);
  EXPECT_EQ(fetch.kind, Kind::kNotReachable);
  EXPECT_EQ(fetch.error, "cannot connect to " + hostPort + ": Connection refused");
}

TEST_F(AccurateRipFetchTest, ServerVariableChoosesTheServer) {
  m_server.SetResponse(kPath, Reply(200, BinaryBody(64)));
  EXPECT_EQ(AccurateRipServerBase(), "http://" + m_server.HostPort());
  EXPECT_EQ(FetchAccurateRip(kPath, nullptr, m_limits).kind, Kind::kFound);

  unsetenv(kAccurateRipServerVariable);
  EXPECT_EQ(AccurateRipServerBase(), "http://www.accuraterip.com");
  setenv(kAccurateRipServerVariable, "127.0.0.1:80", 1);
  EXPECT_EQ(AccurateRipServerBase(), "http://127.0.0.1");
  // A malformed value is refused, not replaced by the public server.
  for (const char* malformed : {":8080", "127.0.0.1:", "127.0.0.1:0", "127.0.0.1:65536", "127.0.0.1:8x"}) {
    setenv(kAccurateRipServerVariable, malformed, 1);
    const AccurateRipFetch fetch = FetchAccurateRip(kPath, nullptr, m_limits);
    EXPECT_EQ(fetch.kind, Kind::kNotReachable) << malformed;
    EXPECT_EQ(fetch.error, "KORVI_ACCURATERIP_SERVER does not name a server (host[:port])") << malformed;
  }
  EXPECT_EQ(m_server.Requests().size(), 1u);
}

TEST_F(AccurateRipFetchTest, WorkerThreadsFetchAtTheSameTime) {
  // The first requests of the process, all at once: libcurl's global setup must not race.
  constexpr int kThreads = 4;
  for (int i = 0; i < kThreads; ++i)
    m_server.SetResponse("/" + std::to_string(i), Reply(200, BinaryBody(5000 + i)));
  std::vector<AccurateRipFetch> fetches(kThreads);
  std::vector<std::thread> workers;
  for (int i = 0; i < kThreads; ++i)
    workers.emplace_back(
        [&, i] { fetches[i] = FetchAccurateRip("/" + std::to_string(i), nullptr, m_limits); });
  for (std::thread& worker : workers) worker.join();
  for (int i = 0; i < kThreads; ++i) {
    ASSERT_EQ(fetches[i].kind, Kind::kFound) << fetches[i].error;
    EXPECT_EQ(fetches[i].bytes, BinaryBody(5000 + i));
  }
  EXPECT_EQ(m_server.Requests().size(), size_t{kThreads});
}

}  // namespace
}  // namespace korvi
