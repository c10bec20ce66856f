// The CDDB client against a real server on 127.0.0.1: query and read end to end, every way the
// server can misbehave, cancellation from another thread, and the disc id of disc images.

#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

#include "cddb/cddb_client.h"
#include "cddb/cddb_socket.h"
#include "cddb/xmcd_parser.h"
#include "cddb_test_util.h"
#include "fixtures/cddb_server.h"
#include "fixtures/disc_image_writer.h"
#include "fixtures/oracles.h"
#include "fixtures/temp_dir.h"
#include "fixtures/time_scale.h"

namespace korvi {
namespace {

using fixtures::CddbTestServer;
using Mode = CddbTestServer::Mode;

// Short waits keep the failure paths quick; the server on the loopback answers in microseconds
// (though making a long reply first takes it longer under ThreadSanitizer: hence the scale).
const int kShortWaitMs = fixtures::ScaledMs(250);

// The worked example: tracks at 0:02:00 and 3:00:00, lead-out at 6:00:00.
const std::vector<CCDDBTrackPosition> kTwoTracks = {{0, 2, 0}, {3, 0, 0}, {6, 0, 0}};

class CddbServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_server.Start());
    m_config.host = "127.0.0.1";
    m_config.port = m_server.Port();
    m_client.SetWaitTimeout(kShortWaitMs);
  }

  void Misbehave(Mode mode, size_t bytes = 0, int intervalMs = 0, std::string raw = {}) {
    m_server.SetBehaviour({mode, bytes, intervalMs, std::move(raw), {}, {}});
  }

  bool Query(uint32_t id, const std::vector<CCDDBTrackPosition>& positions = kTwoTracks) {
    return m_client.Query(m_config, id, positions, m_results);
  }

  bool Read(const std::string& category, uint32_t id) {
    return m_client.Read(m_config, id, category, m_record);
  }

  // The record the parser makes of an archive file, as a read should deliver it.
  static CCDDBRecord Expected(const std::string& name, uint32_t id) {
    CCDDBRecord record;
    EXPECT_TRUE(ParseXmcd(cddb_test::Entry(name), record));
    record.discId = id;
    return record;
  }

  void ExpectReplyFailure() {
    EXPECT_EQ(m_client.LastError(), kCddbErrProtocol);
    EXPECT_EQ(m_client.LastMciError(), 0u);
  }

  CddbTestServer m_server{cddb_test::ArchivePath()};
  CCDDBServer m_config;
  CCDDB m_client;
  std::vector<CCDDBQueryResult> m_results;
  CCDDBRecord m_record;
};

TEST_F(CddbServerTest, QueryAndReadTheWorkedExample) {
  ASSERT_TRUE(Query(0x0b016602));
  EXPECT_EQ(m_results, (std::vector<CCDDBQueryResult>{{"rock", 0x0b016602, "Some Artist", "Some Title"}}));
  ASSERT_TRUE(Read(m_results[0].category, m_results[0].discId));
  EXPECT_EQ(m_record, Expected("rock/0b016602", 0x0b016602));
  EXPECT_EQ(m_client.LastReplyText(), "");

  const std::vector<std::string> requests = m_server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  const std::string hello = m_client.GetHelloCommand();
  EXPECT_EQ(requests[0],
            "GET /~cddb/cddb.cgi?cmd=cddb+query+0b016602+2+150+13500+360&" + hello + " HTTP/1.0");
  EXPECT_EQ(requests[1], "GET /~cddb/cddb.cgi?cmd=cddb+read+rock+0b016602&" + hello + " HTTP/1.0");
}

TEST_F(CddbServerTest, OneTrackDiscSendsASingleOffsetAndNoMatchIsAQuietFalse) {
  EXPECT_FALSE(Query(0x02000401, {{0, 2, 0}, {0, 6, 0}}));
  EXPECT_EQ(m_client.LastError(), 0);  // 202 leaves the cause alone
  EXPECT_EQ(m_client.LastReplyText(), "202 No match for disc ID 02000401.\r\n");
  ASSERT_EQ(m_server.Requests().size(), 1u);
  EXPECT_NE(m_server.Requests()[0].find("cddb+query+02000401+1+150+6&hello="), std::string::npos);
  // No positions, no disc: nothing to ask.
  EXPECT_FALSE(Query(0, {{0, 2, 0}}));
  EXPECT_EQ(m_client.LastError(), kCddbErrInvalid);
  EXPECT_EQ(m_server.Requests().size(), 1u);
}

TEST_F(CddbServerTest, ExactListInexactListAndTheirEntries) {
  ASSERT_TRUE(Query(0x2c050804));  // the same disc filed under two categories: 210
  // The folk entry's title text has a second "/": the artist ends at the first.
  EXPECT_EQ(m_results, (std::vector<CCDDBQueryResult>{
                           {"folk", 0x2c050804, "The Harbour Lights", "Tides / And Other Songs"},
                           {"misc", 0x2c050804, "Harbour Lights, The", "Tides"}}));
  ASSERT_TRUE(Read("misc", 0x2c050804));
  EXPECT_EQ(m_record, Expected("misc/2c050804", 0x2c050804));
  ASSERT_TRUE(Read("folk", 0x2c050804));
  EXPECT_EQ(m_record.discTitle, "Tides / And Other Songs");

  ASSERT_TRUE(Query(0x3005ad06));  // only the checksum differs: 211
  EXPECT_EQ(m_results,
            (std::vector<CCDDBQueryResult>{{"blues", 0x2a05ad06, "Blue Ridge Duo", "Porch Sessions"}}));
  ASSERT_TRUE(Read("blues", 0x2a05ad06));
  EXPECT_EQ(m_record, Expected("blues/2a05ad06", 0x2a05ad06));
}

TEST_F(CddbServerTest, Latin1EntryOverTheWire) {
  ASSERT_TRUE(Query(0x3a0fbb16));
  EXPECT_EQ(m_results[0].artist, "Orquesta de Cámara Valdés & Íñigo Sáenz");
  ASSERT_TRUE(Read("classical", 0x3a0fbb16));
  EXPECT_EQ(m_record, Expected("classical/3a0fbb16", 0x3a0fbb16));
}

TEST_F(CddbServerTest, ReadFailuresLeaveACause) {
  EXPECT_TRUE(Read("rock", 0x0badf00d));  // 401: no such entry, an answer all the same
  EXPECT_EQ(m_record.discId, 0x0badf00du);
  EXPECT_TRUE(m_record.trackTitles.empty());
  EXPECT_FALSE(Read("data", 0x16038203));  // an entry the parser rejects
  ExpectReplyFailure();
  EXPECT_EQ(m_client.LastFailureText(), "no \"Submitted via:\" comment");
  EXPECT_FALSE(Read("", 0x0b016602));
  EXPECT_EQ(m_client.LastError(), kCddbErrInvalid);
}

TEST_F(CddbServerTest, ACategoryCannotReshapeTheRequest) {
  EXPECT_TRUE(Read("rock&cmd=x y/../..", 0x0b016602));  // the server knows no such entry: 401
  EXPECT_TRUE(m_record.trackTitles.empty());
  const std::string request = m_server.Requests().back();
  EXPECT_EQ(request.find(' '), 3u);
  EXPECT_NE(request.find("cddb+read+rock%26cmd%3Dx%20y%2F..%2F..+0b016602&hello="), std::string::npos)
      << request;
}

TEST_F(CddbServerTest, RepliesGrowAcrossManyChunksIntact) {
  fixtures::TempDir dir;
  std::string entry =
      "# xmcd\n# Track frame offsets:\n#\t150\n# Disc length: 4000 seconds\n# Submitted via: korvi-test 1.0\n"
      "DISCID=ff0f9f63\nDTITLE=Long / Titles\n";
  std::vector<std::string> titles;
  for (int i = 0; i < 99; ++i) {
    titles.push_back("Track " + std::to_string(i) + std::string(300, static_cast<char>('a' + i % 26)));
    for (size_t at = 0; at < titles.back().size(); at += 250)
      entry += "TTITLE" + std::to_string(i) + "=" + titles.back().substr(at, 250) + "\n";
  }
  for (int i = 0; i < 99; ++i) entry += "EXTT" + std::to_string(i) + "=\n";
  cddb_test::WriteBytes(dir / "misc/ff0f9f63", entry);
  CddbTestServer server(dir.path());
  ASSERT_TRUE(server.Start());
  m_config.port = server.Port();
  ASSERT_TRUE(Read("misc", 0xff0f9f63));
  EXPECT_EQ(m_record.trackTitles, titles);

  m_config.port = m_server.Port();
  Misbehave(Mode::kHuge, 200000);  // a 211 list of about 200 kB
  ASSERT_TRUE(Query(0x0b016602));
  ASSERT_GT(m_results.size(), 3000u);
  for (size_t i = 0; i < m_results.size(); ++i) {
    ASSERT_EQ(m_results[i].discId, i);
    ASSERT_EQ(m_results[i].title, "Title " + std::to_string(i));
  }
}

TEST_F(CddbServerTest, RepliesArrivingInTinyPiecesAreReadWhole) {
  // The header, the status line and the entry arrive a few bytes at a time; a one-line reply is
  // complete only when its line has ended.
  Misbehave(Mode::kSplit, 3, 1);
  ASSERT_TRUE(Query(0x0b016602));
  EXPECT_EQ(m_results[0].title, "Some Title");
  Misbehave(Mode::kSplit, 61, 1);
  ASSERT_TRUE(Read("jazz", 0x2b057805));
  EXPECT_EQ(m_record, Expected("jazz/2b057805", 0x2b057805));
}

TEST_F(CddbServerTest, ServerClosingEarlyFails) {
  const std::string full = m_server.AnswerFor(
      "GET /~cddb/cddb.cgi?cmd=cddb+read+rock+0b016602&hello=a+b+c+d&proto=5 "
      "HTTP/1.0");
  for (size_t bytes : {size_t{0}, size_t{30}, full.size() - 3}) {
    Misbehave(Mode::kCloseEarly, bytes);
    EXPECT_FALSE(Read("rock", 0x0b016602)) << bytes;
    ExpectReplyFailure();
    EXPECT_EQ(m_client.LastReplyText(), full.substr(0, bytes));
  }
  Misbehave(Mode::kCloseEarly, 40);  // inside the 200 line of a query
  EXPECT_FALSE(Query(0x0b016602));
  ExpectReplyFailure();
}

TEST_F(CddbServerTest, StalledServerTimesOutWithThePartialReplyKept) {
  Misbehave(Mode::kStall, 90);
  EXPECT_FALSE(Query(0x2c050804));
  ExpectReplyFailure();
  EXPECT_EQ(m_client.LastReplyText().size(), 90u);

  // The reader alone reports the timeout itself.
  CCDDBSocket socket;
  ASSERT_TRUE(socket.Create());
  ASSERT_TRUE(socket.Connect("127.0.0.1", m_server.Port()));
  ASSERT_TRUE(socket.Send("GET /~cddb/cddb.cgi?cmd=cddb+query+2c050804+4+1+2+3+4+5 HTTP/1.0\r\n\r\n", 1000));
  std::string reply;
  EXPECT_FALSE(m_client.ReadResponse(socket, kCddbTerminator, reply, kCddbChunkSize, true));
  EXPECT_EQ(m_client.LastError(), kCddbErrTimedOut);
  EXPECT_EQ(m_client.LastReplyText(), reply);
  EXPECT_EQ(reply.size(), 90u);
}

TEST_F(CddbServerTest, GarbageAndWrongPagesAreProtocolFailures) {
  Misbehave(Mode::kGarbage, 3000);
  EXPECT_FALSE(Query(0x0b016602));
  ExpectReplyFailure();
  EXPECT_FALSE(Read("rock", 0x0b016602));
  ExpectReplyFailure();

  Misbehave(Mode::kNormal);
  m_config.path = "/cgi-bin/other.cgi";  // an HTML 404 page
  EXPECT_FALSE(Query(0x0b016602));
  ExpectReplyFailure();
  m_config.path = kCddbPath;

  // No HTTP header at all: the body never starts.
  Misbehave(Mode::kRaw, 0, 0, "200 rock 0b016602 Some Artist / Some Title\r\n");
  EXPECT_FALSE(Query(0x0b016602));
  ExpectReplyFailure();
}

TEST_F(CddbServerTest, RepliesBeyondTheSizeOrTimeLimitFail) {
  Misbehave(Mode::kHuge, 2 << 20);  // 2 MiB, properly terminated, still too long
  EXPECT_FALSE(Query(0x0b016602));
  ExpectReplyFailure();
  EXPECT_EQ(m_client.LastReplyText().size(), kCddbMaxReplyBytes + 1);

  // A byte every 5 ms never trips the wait for each piece, only the limit for the whole reply.
  m_client.SetReplyLimits(kCddbMaxReplyBytes, 400);
  Misbehave(Mode::kTrickle, 0, 5);
  EXPECT_FALSE(Query(0x0b016602));
  ExpectReplyFailure();
  EXPECT_GT(m_client.LastReplyText().size(), 20u);
}

TEST_F(CddbServerTest, ZeroBytesAndTextAfterTheTerminator) {
  constexpr char kEntry[] =
      "HTTP/1.0 200 OK\r\n\r\n210 misc 01234567 follows\r\n# xmcd\r\n# Track frame offsets:\r\n# 150\r\n"
      "# Disc length: 100\r\n# Submitted via: a b\r\nDISCID=01234567\r\nDTITLE=Zero\0Byte / Album\r\n"
      "TTITLE0=a\0b\r\nEXTT0=\r\n.\r\nTTITLE0=after the end\r\n";
  Misbehave(Mode::kRaw, 0, 0, std::string(kEntry, sizeof kEntry - 1));
  ASSERT_TRUE(Read("misc", 0x01234567));
  EXPECT_EQ(m_record.discArtist, std::string("Zero\0Byte", 9));
  EXPECT_EQ(m_record.trackTitles, std::vector<std::string>{std::string("a\0b", 3)});
}

TEST_F(CddbServerTest, ConnectionFailures) {
  CddbTestServer closed(cddb_test::ArchivePath());
  ASSERT_TRUE(closed.Start());
  m_config.port = closed.Port();
  closed.Stop();  // nothing listens on that port any more
  EXPECT_FALSE(Query(0x0b016602));
  EXPECT_EQ(m_client.LastError(), ECONNREFUSED);
  EXPECT_EQ(m_client.LastMciError(), 0u);

  m_config.host = "no-such-host.invalid";
  EXPECT_FALSE(Query(0x0b016602));
  EXPECT_EQ(m_client.LastError(), kCddbErrInvalid);
}

TEST_F(CddbServerTest, HostNamesResolveAlsoWithACancelToken) {
  m_config.host = "localhost";
  ASSERT_TRUE(Query(0x0b016602));
  m_client.SetCancelToken(CancelToken::Create());
  ASSERT_TRUE(Query(0x0b016602));
  EXPECT_EQ(m_results[0].artist, "Some Artist");
}

TEST_F(CddbServerTest, CancelledClientNeverTouchesTheNetwork) {
  auto token = CancelToken::Create();
  m_client.SetCancelToken(token);
  token->Cancel();
  EXPECT_FALSE(Query(0x0b016602));
  EXPECT_EQ(m_client.LastError(), kCddbErrCancelled);
  EXPECT_FALSE(Read("rock", 0x0b016602));
  EXPECT_EQ(m_client.LastError(), kCddbErrCancelled);
  EXPECT_TRUE(m_server.Requests().empty());
}

TEST_F(CddbServerTest, CancelFromAnotherThreadEndsAStalledRead) {
  // The wait for each piece is far longer than the test; only the cancel can end it.
  m_client.SetWaitTimeout(60000);
  auto token = CancelToken::Create();
  m_client.SetCancelToken(token);
  Misbehave(Mode::kStall, 50);
  std::thread owner([&] {
    m_server.WaitForRequests(1, fixtures::ScaledMs(10000));
    token->Cancel();
  });
  EXPECT_FALSE(Read("rock", 0x0b016602));
  owner.join();
  EXPECT_EQ(m_client.LastError(), kCddbErrCancelled);
  EXPECT_EQ(m_client.LastMciError(), 0u);
}

TEST_F(CddbServerTest, ServerNamedByTheEnvironment) {
  setenv(kCddbServerVariable, m_server.HostPort().c_str(), 1);
  const CCDDBServer server = CddbServerFromEnvironment();
  unsetenv(kCddbServerVariable);
  ASSERT_TRUE(m_client.Query(server, 0x0b016602, kTwoTracks, m_results));
  EXPECT_EQ(m_results[0].category, "rock");
}

TEST(CddbDiscId, ImagesGiveTheIdThatLibdiscidComputes) {
  fixtures::TempDir dir;
  fixtures::WrittenImage image;
  ASSERT_TRUE(
      fixtures::WriteCueBinImage(dir / "disc.cue", fixtures::AllAudioLayout(3, 1200), &image, nullptr));
  CCDDB client;
  std::vector<CCDDBTrackPosition> positions;
  ASSERT_TRUE(client.GetDiscTrackPositions(positions, image.cue.string()));
  ASSERT_EQ(positions.size(), 4u);
  EXPECT_EQ(positions[0].minutes * 4500 + positions[0].seconds * 75 + positions[0].frames, 150);
  uint32_t id = 0;
  ASSERT_TRUE(client.GetDiscId(image.cue.string(), id));
  char text[16];
  std::snprintf(text, sizeof text, "%08x", id);
  EXPECT_EQ(text, fixtures::LibDiscIdFreedbId(fixtures::CdInfoTracks(image.cue)));
}

TEST(CddbDiscId, DrivesWithoutAudioOrWithoutADisc) {
  fixtures::TempDir dir;
  fixtures::ImageLayout dataOnly;
  dataOnly.tracks = {{true, 900, 0, {}}};
  fixtures::WrittenImage image;
  ASSERT_TRUE(fixtures::WriteCueBinImage(dir / "data.cue", dataOnly, &image, nullptr));
  CCDDB client;
  std::vector<CCDDBTrackPosition> positions = {{1, 2, 3}};
  EXPECT_FALSE(client.GetDiscTrackPositions(positions, image.cue.string()));
  EXPECT_TRUE(positions.empty());
  EXPECT_EQ(client.LastMciError(), 0u);

  uint32_t id = 7;
  EXPECT_FALSE(client.GetDiscId((dir / "missing.cue").string(), id));
  EXPECT_EQ(client.LastMciError(), kMciErrInvalidDeviceName);
  EXPECT_EQ(id, 7u);
}

TEST(CddbDiscId, FromDiscImageToRecord) {
  fixtures::TempDir dir;
  fixtures::WrittenImage image;
  ASSERT_TRUE(
      fixtures::WriteCueBinImage(dir / "disc.cue", fixtures::AllAudioLayout(2, 4000), &image, nullptr));
  CCDDB client;
  client.SetWaitTimeout(kShortWaitMs);
  std::vector<CCDDBTrackPosition> positions;
  ASSERT_TRUE(client.GetDiscTrackPositions(positions, image.cue.string()));
  const uint32_t id = ComputeDiscId(positions);
  char name[16];
  std::snprintf(name, sizeof name, "%08x", id);
  std::string entry = cddb_test::Entry("rock/0b016602");
  entry.replace(entry.find("0b016602"), 8, name);
  cddb_test::WriteBytes(dir / "archive/newage" / name, entry);

  CddbTestServer server(dir / "archive");
  ASSERT_TRUE(server.Start());
  CCDDBServer config;
  config.host = "127.0.0.1";
  config.port = server.Port();
  std::vector<CCDDBQueryResult> results;
  ASSERT_TRUE(client.Query(config, id, positions, results));
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(results[0].category, "newage");
  CCDDBRecord record;
  ASSERT_TRUE(client.Read(config, results[0].discId, results[0].category, record));
  EXPECT_EQ(record.discId, id);
  EXPECT_EQ(record.trackTitles, (std::vector<std::string>{"First Song", "Second Song"}));
  // The query words carry the image's own offsets and length.
  const std::string request = server.Requests().front();
  const std::string words = "cddb+query+" + std::string(name) + "+2+150+" +
                            std::to_string(150 + image.starts[1]) + "+" +
                            std::to_string((image.leadOut + 150) / 75) + "&";
  EXPECT_NE(request.find(words), std::string::npos) << request;
}

}  // namespace
}  // namespace korvi
