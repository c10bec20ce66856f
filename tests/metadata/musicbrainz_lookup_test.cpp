// Looking discs up against a MusicBrainz stand-in on 127.0.0.1 that answers as the web service
// does (/ws/2/discid, JSON): releases and their credits, the look-up by TOC after an unknown id,
// the service's pace and its 503s, and replies that are slow, huge or not what MusicBrainz sends.

#include <discid/discid.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>

#include "fixtures/http_server.h"
#include "fixtures/time_scale.h"
#include "metadata/musicbrainz_client.h"

namespace korvi {
namespace {

using fixtures::HttpTestServer;
using Mode = HttpTestServer::Mode;
using Kind = MusicBrainzLookup::Kind;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Three audio tracks at these logical sectors; the lead-out at 60000.
constexpr int32_t kStarts[] = {0, 18000, 40000};
constexpr int32_t kLeadOut = 60000;
constexpr const char* kQuery = "inc=recordings+artist-credits+labels+release-groups&fmt=json";

DiscToc ThreeTrackDisc() {
  DiscToc disc;
  disc.toc.FirstTrack = 1;
  disc.toc.LastTrack = 3;
  for (int i = 0; i <= 3; ++i) {
    disc.toc.TrackData[i].ControlAdr = 0x10;
    disc.toc.TrackData[i].TrackNumber = i == 3 ? kLeadOutTrackNumber : uint8_t(i + 1);
    SetEntryAddress(disc.toc.TrackData[i], (i == 3 ? kLeadOut : kStarts[i]) + 150);
  }
  return disc;
}

// The disc's id as libdiscid computes it from the same numbers.
std::string ThreeTrackDiscId() {
  int offsets[100] = {kLeadOut + 150, kStarts[0] + 150, kStarts[1] + 150, kStarts[2] + 150};
  const std::unique_ptr<DiscId, void (*)(DiscId*)> disc(discid_new(), discid_free);
  return discid_put(disc.get(), 1, 3, offsets) ? discid_get_id(disc.get()) : "";
}

int64_t MsBetween(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count();
}

HttpTestServer::Response Json(int status, std::string body) {
  HttpTestServer::Response response{Mode::kReply, status, std::move(body)};
  response.headers = {{"Content-Type", "application/json; charset=utf-8"}};
  return response;
}

// Two releases on the disc, the first with the disc as its second medium, and one whose media hold
// other discs, as a reply may list when a disc id was attached by mistake.
std::string TwoReleases(const std::string& id) {
  return R"({"id":")" + id + R"(","offset-count":3,"sectors":60150,"offsets":[150,18150,40150],
  "releases":[
   {"id":"6d4b5c1a-0000-4000-8000-00000000000a","title":"東京 / Москва","status":"Official",
    "date":"2001-11-21","country":"JP","barcode":"4988006789012",
    "artist-credit":[{"name":"坂本龍一","joinphrase":" & ","artist":{"id":"a1","name":"Ryuichi Sakamoto","sort-name":"Sakamoto, Ryuichi"}},
                     {"name":"Дмитрий Шостакович","joinphrase":" feat. ","artist":{"id":"a2","name":"Dmitri Shostakovich"}},
                     {"name":"Björk","joinphrase":"","artist":{"id":"a3","name":"Björk"}}],
    "release-group":{"id":"rg1","title":"東京 / Москва","primary-type":"Album","first-release-date":"1985-03-01"},
    "label-info":[{"catalog-number":"MDCL-1234","label":{"id":"l1","name":"ミディ"}}],
    "media":[
     {"position":1,"format":"CD","title":"","track-count":2,
      "discs":[{"id":"Other.Disc.Id.On.Medium.One-","sectors":30000,"offsets":[150,15000]}],
      "tracks":[{"id":"t01","position":1,"number":"1","title":"Wrong medium","length":1000,"recording":{"id":"r-wrong-1"}},
                {"id":"t02","position":2,"number":"2","title":"Wrong medium","length":1000,"recording":{"id":"r-wrong-2"}}]},
     {"position":2,"format":"CD","title":"","track-count":3,
      "discs":[{"id":"Another.Id.Of.The.Same.Disc-","sectors":60151},{"id":")" +
         id + R"(","sectors":60150,"offsets":[150,18150,40150]}],
      "tracks":[
       {"id":"t1","position":1,"number":"1","title":"戦場のメリークリスマス","length":240000,
        "artist-credit":[{"name":"坂本龍一","joinphrase":" & "},{"name":"Дмитрий Шостакович","joinphrase":""}],
        "recording":{"id":"b6a1e6c2-0000-4000-8000-000000000001","title":"Merry Christmas Mr. Lawrence","length":240000}},
       {"id":"t2","position":2,"number":"2","title":"Вальс № 2","length":293000,
        "artist-credit":[{"name":"Дмитрий Шостакович","joinphrase":""}],
        "recording":{"id":"b6a1e6c2-0000-4000-8000-000000000002","title":"Вальс № 2"}},
       {"id":"t3","position":3,"number":"3","length":266000,
        "recording":{"id":"b6a1e6c2-0000-4000-8000-000000000003","title":"The recording's own title"}}]}]},
   {"id":"6d4b5c1a-0000-4000-8000-00000000000b","title":"Группа крови","date":"1999","country":"RU",
    "artist-credit":[{"name":"Кино","joinphrase":""}],
    "label-info":[],
    "media":[{"position":1,"format":"CD","track-count":3,"discs":[{"id":")" +
         id + R"("}],
      "tracks":[{"title":"Группа крови","recording":{"id":"rb1"}},{"title":"Закрой за мной дверь, я ухожу","recording":{"id":"rb2"}},
                {"title":"Звезда по имени Солнце","artist-credit":[{"name":"Виктор Цой","joinphrase":""}],"recording":{"id":"rb3"}}]}]},
   {"id":"6d4b5c1a-0000-4000-8000-00000000000c","title":"Not this disc",
    "media":[{"position":1,"track-count":3,"discs":[{"id":"Some.Other.Disc.Entirely.Id-"}],
      "tracks":[{"title":"x"},{"title":"y"},{"title":"z"}]}]}
  ]})";
}

class MusicBrainzLookupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_server.Start());
    // A proxy from the environment would see requests meant for the loopback.
    setenv("no_proxy", "127.0.0.1", 1);
    setenv(kMusicBrainzServerVariable, ("http://" + m_server.HostPort()).c_str(), 1);
    m_id = ThreeTrackDiscId();
    ASSERT_EQ(m_id.size(), 28u);
    m_path = "/ws/2/discid/" + m_id;
    m_limits.totalMs = fixtures::ScaledMs(10000);
    m_limits.stallMs = fixtures::ScaledMs(1000);
  }
  void TearDown() override { unsetenv(kMusicBrainzServerVariable); }

  MusicBrainzLookup LookUp(const CancelToken* cancel = nullptr) {
    return LookUpMusicBrainz(ThreeTrackDisc(), cancel, m_limits);
  }

  HttpTestServer m_server;
  std::string m_id;
  std::string m_path;
  HttpLimits m_limits = MusicBrainzLimits();
};

TEST_F(MusicBrainzLookupTest, DiscIdFindsTwoReleasesWithTheirCreditsAndTheDiscsMedium) {
  m_server.SetResponse(m_path, Json(200, TwoReleases(m_id)));
  const MusicBrainzLookup lookup = LookUp();
  ASSERT_EQ(lookup.kind, Kind::kFound) << lookup.error;
  EXPECT_EQ(lookup.discId, m_id);
  EXPECT_FALSE(lookup.fuzzy);

  const std::vector<HttpTestServer::Request> requests = m_server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].line, "GET " + m_path + "?" + kQuery + " HTTP/1.1");
  EXPECT_EQ(requests[0].Header("User-Agent"),
            std::string("Korvi-CD-Ripper/") + KORVI_EXPECTED_VERSION + " ( korvi-cd-ripper@example.org )");

  ASSERT_EQ(lookup.releases.size(), 2u);
  const MusicBrainzRelease& first = lookup.releases[0];
  EXPECT_EQ(first.releaseId, "6d4b5c1a-0000-4000-8000-00000000000a");
  EXPECT_EQ(first.title, "東京 / Москва");
  EXPECT_EQ(first.artist, "坂本龍一 & Дмитрий Шостакович feat. Björk");
  EXPECT_EQ(first.date, "2001-11-21");
  EXPECT_EQ(first.firstReleaseDate, "1985-03-01");
  EXPECT_EQ(first.year, "2001");  // this release's own, as the date tag has it
  EXPECT_EQ(first.barcode, "4988006789012");
  EXPECT_EQ(first.format, "CD");
  EXPECT_EQ(first.country, "JP");
  EXPECT_EQ(first.label, "ミディ");
  EXPECT_EQ(first.catalogNumber, "MDCL-1234");
  EXPECT_EQ(first.discNumber, 2);
  EXPECT_EQ(first.discCount, 2);
  EXPECT_EQ(first.trackCount, 3);
  ASSERT_EQ(first.tracks.size(), 3u);
  EXPECT_EQ(first.tracks[0].title, "戦場のメリークリスマス");
  EXPECT_EQ(first.tracks[0].artist, "坂本龍一 & Дмитрий Шостакович");
  EXPECT_EQ(first.tracks[0].recordingId, "b6a1e6c2-0000-4000-8000-000000000001");
  EXPECT_EQ(first.tracks[1].title, "Вальс № 2");
  EXPECT_EQ(first.tracks[1].artist, "Дмитрий Шостакович");
  // A track without a title or credits of its own takes the recording's title and the release's artist.
  EXPECT_EQ(first.tracks[2].title, "The recording's own title");
  EXPECT_EQ(first.tracks[2].artist, "坂本龍一 & Дмитрий Шостакович feat. Björk");

  const MusicBrainzRelease& second = lookup.releases[1];
  EXPECT_EQ(second.title, "Группа крови");
  EXPECT_EQ(second.artist, "Кино");
  EXPECT_EQ(second.year, "1999");
  EXPECT_EQ(second.firstReleaseDate, "");
  EXPECT_EQ(second.country, "RU");
  EXPECT_EQ(second.discNumber, 1);
  ASSERT_EQ(second.tracks.size(), 3u);
  EXPECT_EQ(second.tracks[1].title, "Закрой за мной дверь, я ухожу");
  EXPECT_EQ(second.tracks[1].artist, "Кино");
  EXPECT_EQ(second.tracks[2].artist, "Виктор Цой");
  EXPECT_EQ(second.tracks[2].recordingId, "rb3");
}

TEST_F(MusicBrainzLookupTest, UnknownIdIsLookedUpByTocAtTheServicesPace) {
  // The id's path answers 404, as the stand-in does for any path it was not given.
  m_server.SetResponse("/ws/2/discid/-", Json(200, R"({"release-count":1,"release-offset":0,"releases":[
    {"id":"f1","title":"Близко","date":"2010-04","country":"XW",
     "artist-credit":[{"name":"宇多田ヒカル","joinphrase":" x "},{"name":"Земфира","joinphrase":""}],
     "media":[{"position":1,"track-count":5,"tracks":[{"title":"a"},{"title":"b"},{"title":"c"},{"title":"d"},{"title":"e"}]},
              {"position":2,"track-count":3,"tracks":[{"title":"一","recording":{"id":"f-r1"}},
                                                      {"title":"два","recording":{"id":"f-r2"}},
                                                      {"title":"三","recording":{"id":"f-r3"}}]}]}]})"));
  const MusicBrainzLookup lookup = LookUp();
  ASSERT_EQ(lookup.kind, Kind::kFound) << lookup.error;
  EXPECT_TRUE(lookup.fuzzy);

  const std::vector<HttpTestServer::Request> requests = m_server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].line, "GET " + m_path + "?" + kQuery + " HTTP/1.1");
  // first+last+lead-out+offsets, each with the 150-sector lead-in.
  EXPECT_EQ(requests[1].line,
            std::string("GET /ws/2/discid/-?toc=1+3+60150+150+18150+40150&") + kQuery + " HTTP/1.1");
  EXPECT_GE(MsBetween(requests[0].arrived, requests[1].arrived), 1000);

  ASSERT_EQ(lookup.releases.size(), 1u);
  const MusicBrainzRelease& release = lookup.releases[0];
  EXPECT_EQ(release.artist, "宇多田ヒカル x Земфира");
  EXPECT_EQ(release.year, "2010");
  EXPECT_EQ(release.discNumber, 2);  // the medium with as many tracks as the disc
  ASSERT_EQ(release.tracks.size(), 3u);
  EXPECT_EQ(release.tracks[1].title, "два");
  EXPECT_EQ(release.tracks[2].recordingId, "f-r3");

  // Neither look-up knowing the disc is no error.
  m_server.SetResponse("/ws/2/discid/-", Json(404, R"({"error":"Not Found","help":"..."})"));
  const MusicBrainzLookup unknown = LookUp();
  EXPECT_EQ(unknown.kind, Kind::kNotFound) << unknown.error;
  EXPECT_EQ(m_server.Requests().size(), 4u);
}

TEST_F(MusicBrainzLookupTest, ServiceUnavailableIsWaitedOutOnceAndThenReported) {
  HttpTestServer::Response busy =
      Json(503, R"({"error":"Your requests are exceeding the allowable rate limit."})");
  busy.headers.emplace_back("Retry-After", "1");
  m_server.QueueResponse(m_path, busy);
  m_server.SetResponse(m_path, Json(200, TwoReleases(m_id)));
  const MusicBrainzLookup lookup = LookUp();
  ASSERT_EQ(lookup.kind, Kind::kFound) << lookup.error;
  EXPECT_EQ(lookup.releases.size(), 2u);
  std::vector<HttpTestServer::Request> requests = m_server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[1].line, requests[0].line);
  EXPECT_GE(MsBetween(requests[0].arrived, requests[1].arrived), 1000);

  // Tried once more only.
  m_server.SetResponse(m_path, busy);
  const MusicBrainzLookup twice = LookUp();
  EXPECT_EQ(twice.kind, Kind::kNotReachable);
  EXPECT_EQ(twice.error, "MusicBrainz answered 503 Service Unavailable");
  EXPECT_EQ(m_server.Requests().size(), 4u);

  // A wait longer than the look-up's patience is not waited.
  busy.headers.back().second = "120";
  m_server.SetResponse(m_path, busy);
  const MusicBrainzLookup patient = LookUp();
  EXPECT_EQ(patient.error, "MusicBrainz answered 503 Service Unavailable and asks to wait 120 s");
  EXPECT_EQ(m_server.Requests().size(), 5u);
}

TEST_F(MusicBrainzLookupTest, StalledServerIsBoundedAndTheTokenEndsAWait) {
  m_limits.stallMs = 300;
  m_server.SetResponse(m_path, {Mode::kStall, 200, {}});
  Clock::time_point start = Clock::now();
  const MusicBrainzLookup stalled = LookUp();
  EXPECT_EQ(stalled.kind, Kind::kNotReachable);
  EXPECT_EQ(stalled.error, "MusicBrainz did not answer within 300 ms");
  EXPECT_LT(MsBetween(start, Clock::now()), fixtures::ScaledMs(3000));

  // Cancelled while it waits out a Retry-After of 5 s.
  HttpTestServer::Response busy = Json(503, "{}");
  busy.headers.emplace_back("Retry-After", "5");
  m_server.SetResponse(m_path, busy);
  const auto token = CancelToken::Create();
  MusicBrainzLookup cancelled;
  std::thread worker([&] { cancelled = LookUp(token.get()); });
  const bool asked = m_server.WaitForRequests(2, fixtures::ScaledMs(5000));
  std::this_thread::sleep_for(100ms);
  start = Clock::now();
  token->Cancel();
  worker.join();
  ASSERT_TRUE(asked);
  EXPECT_LT(MsBetween(start, Clock::now()), fixtures::ScaledMs(1000));
  EXPECT_EQ(cancelled.kind, Kind::kNotReachable);
  EXPECT_EQ(cancelled.error, "the MusicBrainz look-up was stopped");
  EXPECT_EQ(m_server.Requests().size(), 2u);
}

TEST_F(MusicBrainzLookupTest, HugeMalformedAndMistypedRepliesAreRefusedWithReasons) {
  HttpTestServer::Response huge{Mode::kHuge, 200, {}, 5u << 20};
  m_server.SetResponse(m_path, huge);
  const MusicBrainzLookup tooLarge = LookUp();
  EXPECT_EQ(tooLarge.kind, Kind::kNotReachable);
  EXPECT_EQ(tooLarge.error, "MusicBrainz: " + m_server.HostPort() + ": reply larger than 4194304 bytes");

  m_server.SetResponse(m_path, Json(200, R"({"releases":[{"id":"x","title":"cut off)"));
  const MusicBrainzLookup cutOff = LookUp();
  EXPECT_EQ(cutOff.kind, Kind::kNotReachable);
  EXPECT_TRUE(cutOff.error.starts_with("the reply is not MusicBrainz JSON: parse error")) << cutOff.error;

  m_server.SetResponse(m_path, Json(200, "<html>Service Temporarily Unavailable</html>"));
  const MusicBrainzLookup html = LookUp();
  EXPECT_TRUE(html.error.starts_with("the reply is not MusicBrainz JSON: ")) << html.error;

  m_server.SetResponse(m_path, Json(200, R"({"releases":{"0":{}}})"));
  EXPECT_EQ(LookUp().error, "the reply is not MusicBrainz JSON: it has no list of releases");

  // Every field of the wrong type, and counts no disc has: what is usable stays, nothing throws.
  m_server.SetResponse(m_path, Json(
                                   200, R"({"releases":[
    {"id":7,"title":["a"],"date":20010101,"country":null,"artist-credit":"Someone",
     "release-group":[],"label-info":{"label":"x"},
     "media":[{"position":-3,"track-count":1e300,"discs":[{"id":")" +
                                            m_id + R"("}],
               "tracks":[null,17,{"title":{"ja":"x"},"artist-credit":[null,{"name":5,"joinphrase":[]}],"recording":"r"}]}]},
    {"id":"too-many","media":[{"track-count":18446744073709551615,"discs":[{"id":")" +
                                            m_id + R"("}],
               "tracks":[)" +
                                            [] {
                                              std::string many;
                                              for (int i = 0; i < 5000; ++i) many += i ? ",{}" : "{}";
                                              return many;
                                            }() +
                                            R"(]}]},
    "not a release", 42, null]})"));
  const MusicBrainzLookup mistyped = LookUp();
  ASSERT_EQ(mistyped.kind, Kind::kFound) << mistyped.error;
  ASSERT_EQ(mistyped.releases.size(), 1u);
  const MusicBrainzRelease& release = mistyped.releases[0];
  EXPECT_EQ(release.releaseId, "");
  EXPECT_EQ(release.title, "");
  EXPECT_EQ(release.artist, "");
  EXPECT_EQ(release.year, "");
  EXPECT_EQ(release.discNumber, 0);
  EXPECT_EQ(release.trackCount, 3);
  ASSERT_EQ(release.tracks.size(), 3u);
  EXPECT_EQ(release.tracks[2].title, "");
  EXPECT_EQ(release.tracks[2].recordingId, "");
}

TEST(MusicBrainzServer, MalformedServerVariableRefusesRatherThanAskingThePublicServer) {
  const DiscToc disc = ThreeTrackDisc();
  for (const char* value : {"127.0.0.1:8080", "ftp://127.0.0.1", "http://", "http://host:0",
                            "http://host:99999", "http://host/path", "http://user@host", "http:// host"}) {
    SCOPED_TRACE(value);
    setenv(kMusicBrainzServerVariable, value, 1);
    EXPECT_EQ(MusicBrainzServerBase(), "");
    const MusicBrainzLookup lookup = LookUpMusicBrainz(disc);
    EXPECT_EQ(lookup.kind, Kind::kNotReachable);
    EXPECT_EQ(lookup.error, "KORVI_MUSICBRAINZ_SERVER does not name a server (http[s]://host[:port])");
  }
  setenv(kMusicBrainzServerVariable, "https://mirror.example.org:8443/", 1);
  EXPECT_EQ(MusicBrainzServerBase(), "https://mirror.example.org:8443");
  unsetenv(kMusicBrainzServerVariable);
  EXPECT_EQ(MusicBrainzServerBase(), "https://musicbrainz.org");
}

}  // namespace
}  // namespace korvi
