// Hostile CDDB servers end to end: korvi-cli lookup and the window's lookup against a local server
// that floods, trickles, or serves garbage as an entry. The transport-level cases (stall, trickle,
// noise, size limit of one request) are in tests/cddb; here the whole lookup and the whole process
// are watched: its memory, how fast it can be stopped, and what it prints.

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

#include "common/cancel_token.h"
#include "cddb/cddb_client.h"
#include "hostile_disc.h"
#include "library/disc_info.h"
#include "library/lookup.h"

namespace korvi {
namespace {

using fixtures::CddbTestServer;
using fixtures::ChildProcess;
using fixtures::ChildResult;
using Mode = CddbTestServer::Mode;
using Clock = std::chrono::steady_clock;

// Left alone, a trickling reply keeps the client for kCddbMaxReplyMs (30 s) per request; stopped,
// it ends within this many seconds, scaled.
constexpr double kStopBoundSeconds = 2;
constexpr int kTrickleMs = 1000;  // one byte a second
// For things that take milliseconds, also under a sanitizer.
const int kWaitMs = fixtures::ScaledMs(20000);

double StopBound() { return kStopBoundSeconds * fixtures::TimeScale(); }

#if defined(__SANITIZE_ADDRESS__)
constexpr size_t kGrowthRoom = 32;  // times the reply limit
#else
constexpr size_t kGrowthRoom = 16;
#endif

double Seconds(Clock::duration duration) { return std::chrono::duration<double>(duration).count(); }

class HostileLookup : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_disc.Make(3));
    m_disc.ServeEntry(m_disc.Entry("Ana / Sea", {"TTITLE0=Tide", "TTITLE1=Gulls", "TTITLE2=Wind"}));
  }

  void Misbehave(Mode mode, const std::string& command, size_t bytes = 0, int intervalMs = 0) {
    CddbTestServer::Behaviour behaviour;
    behaviour.mode = mode;
    behaviour.bytes = bytes;
    behaviour.intervalMs = intervalMs;
    behaviour.command = command;
    m_disc.server->SetBehaviour(behaviour);
  }

  // What the window asks for: the disc, its numbered rows, an empty library.
  LookupRequest Request() const {
    LookupRequest request;
    request.drive = m_disc.Cue();
    request.libraryFolder = (m_disc.dir / "lib").string();
    request.server.host = "127.0.0.1";
    request.server.port = m_disc.server->Port();
    for (int row = 1; row <= 3; ++row)
      request.record.tracks.emplace_back(0, 0, ("Track " + std::to_string(row)).c_str());
    return request;
  }

  // Waits until the server has taken request number `requests` and sent a byte of its answer.
  void WaitForTheTrickle(size_t requests) {
    ASSERT_TRUE(m_disc.server->WaitForRequests(requests, kWaitMs));
    ASSERT_TRUE(m_disc.server->WaitForBytesSent(m_disc.server->BytesSent() + 1, kWaitMs));
  }

  static void ExpectCleanFailure(const ChildResult& result, const std::string& what) {
    ASSERT_TRUE(result.exited) << what << ": killed by signal " << result.termSignal << "\n" << result.err;
    EXPECT_EQ(result.status, 1) << what;
    EXPECT_EQ(result.err.rfind("Failed to Get disc-info!\n", 0), 0u) << what << ": " << result.err;
  }

  fixtures::HostileDisc m_disc;
};

TEST_F(HostileLookup, ManyMegabyteRepliesFailWithBoundedMemory) {
  const std::vector<std::string> lookup = {"lookup", m_disc.Cue(), "--no-save"};
  const ChildResult normal = m_disc.Cli(lookup);
  ASSERT_EQ(normal.status, 0) << normal.err;
  EXPECT_EQ(normal.out, "Sea\nAna\nTide\nGulls\nWind\n");

  // The client keeps at most kCddbMaxReplyBytes of a reply, and a copy or two of it as the last
  // reply text: a few times the limit, far below the 64 MB the server offers. (The sanitizer's
  // quarantine keeps the buffers a growing reply left behind, hence its larger room.)
  constexpr size_t kFloodBytes = size_t{64} << 20;
  const long boundKb = long(kGrowthRoom * kCddbMaxReplyBytes / 1024);
  struct Flood {
    const char* name;
    Mode mode;
    const char* command;
  };
  for (const Flood& flood : {Flood{"read_unterminated", Mode::kFlood, "read"},
                             Flood{"read_terminated", Mode::kFloodTerminated, "read"},
                             Flood{"query_unterminated", Mode::kFlood, "query"}}) {
    Misbehave(flood.mode, flood.command, kFloodBytes);
    const ChildResult flooded = m_disc.Cli(lookup);
    ExpectCleanFailure(flooded, flood.name);
    EXPECT_EQ(flooded.out, "");
    const long growthKb = flooded.peakRssKb - normal.peakRssKb;
    std::printf("[ measured ] %s: peak RSS %ld kB, a normal lookup %ld kB, growth %ld kB (bound %ld kB)\n",
                flood.name, flooded.peakRssKb, normal.peakRssKb, growthKb, boundKb);
    RecordProperty(std::string("peak_rss_growth_kb_") + flood.name, std::to_string(growthKb));
    EXPECT_LT(growthKb, boundKb) << flood.name;
  }
  RecordProperty("peak_rss_normal_lookup_kb", std::to_string(normal.peakRssKb));
}

TEST_F(HostileLookup, TheWindowsLookupLeavesATricklingServerAtOnceWhenStopped) {
  struct StopPoint {
    const char* name;
    const char* trickling;  // the command whose answer trickles
    size_t request;         // stop once this request has a byte of its answer; 0: right after Start
  };
  std::mutex mutex;
  std::condition_variable reported;
  std::vector<LookupOutcome> outcomes;
  DiscInfoLookup::Sink sink;
  sink.status = [](uint64_t, const std::string&) {};
  sink.done = [&](uint64_t, LookupOutcome outcome) {
    std::lock_guard lock(mutex);
    outcomes.push_back(std::move(outcome));
    reported.notify_all();
  };

  // Last the stop that may come before the connection: its request, if any, would arrive late.
  size_t requests = 0;
  for (const StopPoint& stop :
       {StopPoint{"during the query", "query", 1}, StopPoint{"during the read", "read", 2},
        StopPoint{"right after the start", "query", 0}}) {
    Misbehave(Mode::kTrickle, stop.trickling, 0, kTrickleMs);
    auto lookup = std::make_unique<DiscInfoLookup>(sink);
    const uint64_t generation = lookup->Start(Request());
    if (stop.request > 0) WaitForTheTrickle(requests + stop.request);
    const Clock::time_point stopped = Clock::now();
    lookup->Stop();
    EXPECT_FALSE(lookup->IsCurrent(generation));
    lookup.reset();  // joins the abandoned worker
    const double seconds = Seconds(Clock::now() - stopped);
    std::printf("[ measured ] stopped %s: the worker ended after %.3f s\n", stop.name, seconds);
    EXPECT_LT(seconds, StopBound()) << stop.name;
    requests = m_disc.server->Requests().size();
  }
  EXPECT_TRUE(outcomes.empty()) << "a stopped lookup reported its outcome";

  // The abandoned connections are closed: the server, one connection at a time, answers again.
  m_disc.server->SetBehaviour({});
  DiscInfoLookup lookup(sink);
  lookup.Start(Request());
  std::unique_lock lock(mutex);
  ASSERT_TRUE(reported.wait_for(lock, std::chrono::milliseconds(kWaitMs), [&] { return !outcomes.empty(); }));
  EXPECT_EQ(outcomes.front().kind, LookupOutcome::kFromServer);
  EXPECT_EQ(outcomes.front().record.albumTitle, "Sea");
}

TEST_F(HostileLookup, ACancelledTokenEndsARunLookupInTheRead) {
  Misbehave(Mode::kTrickle, "read", 0, kTrickleMs);
  const auto cancel = CancelToken::Create();
  LookupOutcome outcome;
  std::thread worker([&] { outcome = RunLookup(Request(), cancel, [](const std::string&) {}); });
  WaitForTheTrickle(2);
  const Clock::time_point stopped = Clock::now();
  cancel->Cancel();
  worker.join();
  const double seconds = Seconds(Clock::now() - stopped);
  std::printf("[ measured ] cancelled in the read: RunLookup returned after %.3f s\n", seconds);
  EXPECT_LT(seconds, StopBound());
  EXPECT_EQ(outcome.kind, LookupOutcome::kFailed);
  EXPECT_EQ(outcome.record.tracks[0].title(), "Track 1");
  EXPECT_FALSE(std::filesystem::exists(LibraryFileName((m_disc.dir / "lib").string(), m_disc.discId)));
}

TEST_F(HostileLookup, SigintAndSigtermEndKorviCliLookupAtOnce) {
  Misbehave(Mode::kTrickle, "query", 0, kTrickleMs);
  const std::filesystem::path library = m_disc.dir / "lib";
  std::filesystem::create_directory(library);
  for (const int signal : {SIGINT, SIGTERM}) {
    const size_t requests = m_disc.server->Requests().size();
    ChildProcess child;
    ASSERT_TRUE(m_disc.StartCli(child, {"lookup", m_disc.Cue(), "--library", library.string()}));
    WaitForTheTrickle(requests + 1);
    const Clock::time_point stopped = Clock::now();
    ASSERT_TRUE(child.Signal(signal));
    const ChildResult result = child.Finish(fixtures::CliTimeout());
    const double seconds = Seconds(Clock::now() - stopped);
    std::printf("[ measured ] korvi-cli lookup ended %.3f s after signal %d\n", seconds, signal);
    EXPECT_LT(seconds, StopBound());
    // Ended by the signal, or by a handler of its own with a failure status.
    EXPECT_TRUE((!result.exited && result.termSignal == signal) || (result.exited && result.status != 0))
        << "signal " << signal << ": exit status " << result.status;
    EXPECT_TRUE(std::filesystem::is_empty(library));
  }
}

// Bytes that no server should send, from a fixed seed.
std::string Noise(size_t bytes, uint32_t seed) {
  std::string noise(bytes, '\0');
  for (char& c : noise) {
    seed ^= seed << 13, seed ^= seed >> 17, seed ^= seed << 5;
    c = static_cast<char>(seed & 0xFF);
  }
  return noise;
}

TEST_F(HostileLookup, GarbageAndZeroBytesInAnEntryGiveACleanRecordOrACleanFailure) {
  enum class Expect { kRecord, kFailure, kEither };
  struct Case {
    std::string name;
    std::string entry;
    Expect expect;
    std::string firstTitle;  // of a record
  };
  using namespace std::string_literals;
  std::string noiseBetweenLines;
  {
    const std::string entry = m_disc.Entry("Ana / Sea", {"TTITLE0=Tide", "TTITLE1=Gulls", "TTITLE2=Wind"});
    uint32_t seed = 11;
    for (const std::string& line : fixtures::Lines(entry))
      noiseBetweenLines += line + "\n" + Noise(40, ++seed) + "\n";
  }
  const std::vector<Case> cases = {
      {"zero bytes in the titles and a keyword",
       m_disc.Entry("Ana\0 / Sea\0x"s,
                    {"TTITLE0=Ti\0de"s, "TTI\0TLE1=Lost"s, "TTITLE1=Gulls"s, "TTITLE2=\0"s}),
       Expect::kRecord, "Ti de"},
      {"escapes for the terminal and line breaks",
       m_disc.Entry("\x1b]0;owned\x07 / \x1b[2J", {"TTITLE0=one\\ntwo", "TTITLE1=tab\\there",
                                                   "TTITLE2=\x9b"
                                                   "31m"}),
       Expect::kRecord, "one two"},
      {"a title cut inside a UTF-8 character",
       m_disc.Entry("A / B", {"TTITLE0=Caf\xC3", "TTITLE1=x", "TTITLE2=y"}), Expect::kRecord, "Caf\xC3\x83"},
      {"binary noise between the lines", noiseBetweenLines, Expect::kEither, ""},
      {"binary noise only", Noise(4096, 3), Expect::kFailure, ""},
      {"zero bytes only", std::string(4096, '\0'), Expect::kFailure, ""},
      {"track numbers out of range", m_disc.Entry("A / B", {"TTITLE-1=x", "TTITLE4294967296=y"}),
       Expect::kFailure, ""},
      {"a disc id too long for 32 bits",
       "# xmcd\n# Track frame offsets:\n#\t150\n# Disc length: 9 seconds\n# Submitted via: x 1\n"
       "DISCID=123456789abcdef0123\nDTITLE=A / B\n",
       Expect::kFailure, ""},
  };
  for (const Case& c : cases) {
    m_disc.ServeEntry(c.entry);
    const ChildResult result = m_disc.Cli({"lookup", m_disc.Cue(), "--no-save"});
    ASSERT_TRUE(result.exited) << c.name << ": killed by signal " << result.termSignal << "\n" << result.err;
    EXPECT_EQ(result.err.find("Sanitizer"), std::string::npos) << c.name << ": " << result.err;
    if (result.status != 0 || c.expect == Expect::kFailure) {
      EXPECT_NE(c.expect, Expect::kRecord) << c.name << ": " << result.err;
      ExpectCleanFailure(result, c.name);
      continue;
    }
    // One album title, one artist, one title per track: nothing a terminal or a script could
    // misread.
    const std::vector<std::string> lines = fixtures::Lines(result.out);
    ASSERT_EQ(lines.size(), 5u) << c.name << ": " << result.out;
    for (const std::string& line : lines) EXPECT_TRUE(fixtures::IsCleanText(line)) << c.name << ": " << line;
    if (!c.firstTitle.empty()) {
      EXPECT_EQ(lines[2], c.firstTitle) << c.name;
    }
  }
}

}  // namespace
}  // namespace korvi
