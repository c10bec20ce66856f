// korvi-cli lookup and rip --lookup across the sources of the lookup order: a MusicBrainz stand-in
// that knows two releases of the disc, the CDDB stand-in behind it, and the disc's own CD-Text.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <utility>

#include "fixtures/cddb_server.h"
#include "fixtures/child_process.h"
#include "fixtures/disc_image_writer.h"
#include "fixtures/http_server.h"
#include "fixtures/image_toc.h"
#include "fixtures/musicbrainz_replies.h"
#include "fixtures/temp_dir.h"
#include "fixtures/time_scale.h"
#include "library/disc_info.h"
#include "metadata/request_pace.h"

namespace korvi {
namespace {

using fixtures::HttpTestServer;
using fixtures::RunCommand;
using fixtures::ShellQuote;

const fixtures::FakeRelease kTokyo{"6d4b5c1a-0000-4000-8000-00000000000a",
                                   "東京",
                                   "坂本龍一",
                                   "2001-11-21",
                                   "JP",
                                   {"戦場のメリークリスマス", "Вальс № 2", "Jóga / live"},
                                   {"", "Дмитрий Шостакович", ""}};
const fixtures::FakeRelease kKino{"6d4b5c1a-0000-4000-8000-00000000000b",
                                  "Группа крови",
                                  "Кино",
                                  "1988-01-05",
                                  "RU",
                                  {"Группа крови", "Закрой за мной дверь", "Звезда по имени Солнце"},
                                  {}};

using Json = nlohmann::json;

// A medium as a look-up by TOC gives it, of three tracks "<name> 1" to "<name> 3": with each
// track's length (milliseconds) when trackSectors are given, and a disc id of those lengths at
// other offsets than the disc's (another lead-in) when discSectors are.
Json Medium(int position, const std::string& name, const std::vector<int32_t>& trackSectors,
            const std::vector<int32_t>& discSectors) {
  Json tracks = Json::array();
  for (size_t i = 0; i < 3; ++i) {
    Json track = {{"position", i + 1},
                  {"title", name + " " + std::to_string(i + 1)},
                  {"recording", {{"id", name + "-recording-" + std::to_string(i + 1)}}}};
    if (!trackSectors.empty()) track["length"] = trackSectors[i] * 1000 / 75;
    tracks.push_back(track);
  }
  Json medium = {{"position", position}, {"format", "CD"}, {"track-count", 3}, {"tracks", tracks}};
  Json offsets = Json::array();
  int32_t at = 182;
  for (const int32_t length : discSectors) offsets.push_back(std::exchange(at, at + length));
  if (!discSectors.empty())
    medium["discs"] = {{{"id", name + "-disc"}, {"sectors", at}, {"offsets", offsets}}};
  return medium;
}

Json Release(const std::string& title, const std::string& date, Json media) {
  return {{"id", title + "-id"},
          {"title", title},
          {"date", date},
          {"artist-credit", {{{"name", "Die Band"}, {"joinphrase", ""}}}},
          {"media", std::move(media)}};
}

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

class KorviCliTitles : public ::testing::Test {
 protected:
  void SetUp() override {
    fixtures::ImageLayout layout;
    layout.tracks = {{false, 300, 0, "Erste"}, {false, 200, 150, "Zweite"}, {false, 260, 30, "Dritte"}};
    const auto cue = m_dir / "disc.cue";
    ASSERT_TRUE(fixtures::WriteCueBinImage(cue, layout, &m_image, nullptr));
    // The disc's own CD-Text, as a cue sheet gives it.
    const std::string sheet = ReadAll(cue);
    std::ofstream(cue, std::ios::trunc) << "PERFORMER \"Die Band\"\nTITLE \"Das Album\"\n" << sheet;
    const auto read = fixtures::ReadImageToc(cue);
    ASSERT_TRUE(read);
    m_mbPath = fixtures::MusicBrainzDiscPath(read->toc);
    ASSERT_FALSE(m_mbPath.empty());
    m_discId = read->cddbId;
    char id[16];
    std::snprintf(id, sizeof id, "%08x", m_discId);
    std::filesystem::create_directories(m_dir / "archive" / "rock");
    std::ofstream(m_dir / "archive" / "rock" / id)
        << "# xmcd\n#\n# Track frame offsets:\n#\t150\n#\n# Disc length: 12 seconds\n#\n# Revision: 0\n"
        << "# Submitted via: hand 1.0\n#\nDISCID=" << id << "\nDTITLE=Ana / From CDDB\nDYEAR=1999\n"
        << "TTITLE0=Tide\nTTITLE1=Gulls\nTTITLE2=Wind\nEXTD=\nEXTT0=\nEXTT1=\nEXTT2=\nPLAYORDER=\n";
    m_cddb = std::make_unique<fixtures::CddbTestServer>(m_dir / "archive");
    ASSERT_TRUE(m_cddb->Start());
    ASSERT_TRUE(m_musicBrainz.Start());
    m_env = "HOME=" + ShellQuote(m_dir.path().string()) +
            " XDG_CONFIG_HOME=" + ShellQuote((m_dir / "config").string()) +
            " XDG_DATA_HOME=" + ShellQuote((m_dir / "data").string()) + " no_proxy=127.0.0.1" +
            " KORVI_CDDB_SERVER=" + m_cddb->HostPort() + " KORVI_MUSICBRAINZ_SERVER=http://" +
            m_musicBrainz.HostPort() + " ";
    m_envList = {"HOME=" + m_dir.path().string(),
                 "XDG_CONFIG_HOME=" + (m_dir / "config").string(),
                 "XDG_DATA_HOME=" + (m_dir / "data").string(),
                 "no_proxy=127.0.0.1",
                 "KORVI_CDDB_SERVER=" + m_cddb->HostPort(),
                 "KORVI_MUSICBRAINZ_SERVER=http://" + m_musicBrainz.HostPort()};
    std::filesystem::create_directory(Library());
    WriteSettings("MusicBrainz,CDDB,CD-Text");
  }

  void WriteSettings(const std::string& order) {
    std::filesystem::create_directories(m_dir / "config" / "korvi-cd-ripper");
    std::ofstream(m_dir / "config" / "korvi-cd-ripper" / "registry.reg")
        << "Windows Registry Editor Version 5.00\n\n"
        << "[HKEY_CURRENT_USER\\Software\\Tessaline Technology\\Korvi CD Ripper\\Options]\n"
        << "\"DefaultFolder\"=\"" << (m_dir / "out").string() << "\"\n"
        << "\"DefaultLibFolder\"=\"" << Library() << "\"\n"
        << "\"LookupOrder\"=\"" << order << "\"\n";
  }
  void ServeReleases(const std::vector<fixtures::FakeRelease>& releases) {
    HttpTestServer::Response reply{HttpTestServer::Mode::kReply, 200,
                                   fixtures::MusicBrainzDiscReply(m_mbPath.substr(13), releases)};
    reply.headers = {{"Content-Type", "application/json"}};
    m_musicBrainz.SetResponse(m_mbPath, reply);
  }
  // stdout, and stderr in *err.
  fixtures::CommandResult Cli(const std::string& args, std::string* err = nullptr) {
    const auto errFile = m_dir / "stderr.txt";
    auto result =
        RunCommand(m_env + ShellQuote(KORVI_CLI_PATH) + " " + args + " 2>" + ShellQuote(errFile.string()));
    if (err) *err = ReadAll(errFile);
    return result;
  }
  std::string Library() const { return (m_dir / "lib").string(); }
  std::string Cue() const { return ShellQuote(m_image.cue.string()); }
  // The disc's track lengths in sectors, each moved by `by`.
  std::vector<int32_t> Lengths(int32_t by = 0) const {
    std::vector<int32_t> lengths;
    for (size_t i = 0; i < m_image.starts.size(); ++i)
      lengths.push_back((i + 1 < m_image.starts.size() ? m_image.starts[i + 1] : m_image.leadOut) -
                        m_image.starts[i] + by);
    return lengths;
  }
  // The look-up by id knows nothing; the look-up by TOC answers with these releases.
  void ServeTocReply(const Json& releases) {
    EXPECT_TRUE(releases.is_array());
    HttpTestServer::Response reply{HttpTestServer::Mode::kReply, 200,
                                   Json{{"release-count", releases.size()}, {"releases", releases}}.dump()};
    m_musicBrainz.SetResponse("/ws/2/discid/-", reply);
  }
  // korvi-cli rip of the image into out/ with more arguments ("flac --lookup --tracks 2").
  fixtures::CommandResult Rip(const std::string& format, std::string* err) {
    std::filesystem::create_directories(m_dir / "out");
    return Cli("rip " + Cue() + " --no-verify --no-log --no-cue --out " +
                   ShellQuote((m_dir / "out").string()) + " --format " + format,
               err);
  }
  // The tags of a FLAC file, "NAME=value" a line.
  static std::string FlacTags(const std::filesystem::path& file) {
    return RunCommand("metaflac --export-tags-to=- " + ShellQuote(file.string())).out;
  }

  fixtures::TempDir m_dir;
  fixtures::WrittenImage m_image;
  uint32_t m_discId = 0;
  std::string m_mbPath;
  HttpTestServer m_musicBrainz;
  std::unique_ptr<fixtures::CddbTestServer> m_cddb;
  std::string m_env;
  std::vector<std::string> m_envList;  // m_env for child processes
};

TEST_F(KorviCliTitles, SeveralReleasesAreListedTheFirstTakenOrTheOnePicked) {
  ServeReleases({kTokyo, kKino});
  std::string err;
  const auto picked = Cli("lookup " + Cue() + " --pick 2 --no-save", &err);
  ASSERT_EQ(picked.status, 0) << err;
  EXPECT_EQ(picked.out, "Группа крови\nКино\nГруппа крови\nЗакрой за мной дверь\nЗвезда по имени Солнце\n");
  EXPECT_EQ(err,
            "korvi-cli: MusicBrainz has 2 matches for the disc:\n"
            "  1. 東京 / 坂本龍一 (2001-11-21, JP, 3 tracks)\n"
            "  2. Группа крови / Кино (1988-01-05, RU, 3 tracks)\n"
            "korvi-cli: titles from MusicBrainz, match 2\n");
  EXPECT_FALSE(std::filesystem::exists(LibraryFileName(Library(), m_discId)));

  const auto beyond = Cli("lookup " + Cue() + " --pick 3", &err);
  EXPECT_EQ(beyond.status, 1);
  EXPECT_NE(err.find("korvi-cli: --pick 3: there are 2 matches\n"), std::string::npos) << err;
  EXPECT_EQ(Cli("lookup " + Cue() + " --pick 0").status, 2);

  // The first is taken and kept, with each track's own artist.
  const auto first = Cli("lookup " + Cue(), &err);
  ASSERT_EQ(first.status, 0) << err;
  EXPECT_EQ(first.out, "東京\n坂本龍一\n戦場のメリークリスマス\nВальс № 2\nJóga / live\n");
  CDiscInfo kept;
  ASSERT_GT(kept.LoadDiscInfo(Library(), m_discId), 0);
  EXPECT_EQ(kept.tracks[1].artist, "Дмитрий Шостакович");
  EXPECT_EQ(kept.tracks[2].artist, "坂本龍一");
  EXPECT_EQ(kept.tracks[0].year, 2001);
  // The release and its recordings, for the tags, beside the library file.
  EXPECT_EQ(kept.extras.source, "MusicBrainz");
  EXPECT_EQ(kept.extras.musicBrainzReleaseId, kTokyo.id);
  EXPECT_EQ(kept.extras.musicBrainzDiscId, m_mbPath.substr(13));
  EXPECT_EQ(kept.extras.releaseDate, "2001-11-21");
  EXPECT_EQ(kept.extras.recordingIds,
            std::vector<std::string>(
                {kTokyo.id + "-recording-1", kTokyo.id + "-recording-2", kTokyo.id + "-recording-3"}));
  // Neither CDDB nor the CD-Text was needed.
  EXPECT_TRUE(m_cddb->Requests().empty());

  // From the library now: no request, no list.
  const size_t asked = m_musicBrainz.Requests().size();
  const auto again = Cli("lookup " + Cue(), &err);
  EXPECT_EQ(again.out, first.out);
  EXPECT_EQ(err, "");
  EXPECT_EQ(m_musicBrainz.Requests().size(), asked);

  // A rip takes the pick too, and names its file after the release picked.
  const auto out = m_dir / "out";
  std::filesystem::create_directory(out);
  const auto rip = Cli("rip " + Cue() + " --format wav --pick 2 --tracks 3 --library " +
                       ShellQuote((m_dir / "other-lib").string()) + " --no-verify --no-log --no-cue --out " +
                       ShellQuote(out.string()));
  ASSERT_EQ(rip.status, 0);
  EXPECT_EQ(rip.out, (out / "Звезда по имени Солнце.wav").string() + "\n");
}

TEST_F(KorviCliTitles, TheOrderDecidesAndCdTextNeedsNoNetwork) {
  // No network at all: the disc names itself.
  m_env += "KORVI_CDDB_SERVER=127.0.0.1:1 KORVI_MUSICBRAINZ_SERVER=http://127.0.0.1:9 ";
  std::string err;
  const auto offline = Cli("lookup " + Cue() + " --no-save", &err);
  ASSERT_EQ(offline.status, 0) << err;
  EXPECT_EQ(offline.out, "Das Album\nDie Band\nErste\nZweite\nDritte\n");
  EXPECT_EQ(err, "korvi-cli: titles from CD-Text\n");
  m_env.resize(m_env.rfind("KORVI_CDDB_SERVER=127.0.0.1:1"));

  // CD-Text first: MusicBrainz, which knows the disc, is not asked.
  ServeReleases({kTokyo});
  WriteSettings("CD-Text,MusicBrainz");
  EXPECT_EQ(Cli("lookup " + Cue() + " --no-save").out, offline.out);
  EXPECT_TRUE(m_musicBrainz.Requests().empty());

  // MusicBrainz knows neither the id nor the TOC: the next source answers.
  m_musicBrainz.SetResponse(m_mbPath, {HttpTestServer::Mode::kReply, 404, "{\"error\":\"Not Found\"}"});
  WriteSettings("MusicBrainz,CDDB");
  const auto fromCddb = Cli("lookup " + Cue() + " --no-save", &err);
  ASSERT_EQ(fromCddb.status, 0) << err;
  EXPECT_EQ(fromCddb.out, "From CDDB\nAna\nTide\nGulls\nWind\n");
  EXPECT_EQ(err, "korvi-cli: titles from CDDB\n");
  EXPECT_EQ(m_musicBrainz.Requests().size(), 2u);  // by id, then by TOC
  EXPECT_EQ(m_musicBrainz.Requests()[1].line.rfind("GET /ws/2/discid/-?toc=1+3+", 0), 0u)
      << m_musicBrainz.Requests()[1].line;

  // Every source off: the library alone, which does not know the disc.
  WriteSettings("");
  const auto none = Cli("lookup " + Cue() + " --no-save", &err);
  EXPECT_EQ(none.status, 1);
  EXPECT_EQ(err,
            "Failed to Get disc-info!\nkorvi-cli: the disc is not in the library, and every other source is "
            "off\n");
  EXPECT_EQ(m_musicBrainz.Requests().size(), 2u);
}

// Two lookups of one disc at once, each keeping another release: whichever saves last, the library
// file and the sidecar beside it name the same release, and a rip would tag the titles it finds
// with their own release's ids.
TEST_F(KorviCliTitles, ConcurrentLookupsOfOneDiscKeepOneReleaseWhole) {
  ServeReleases({kTokyo, kKino});
  const std::string file = LibraryFileName(Library(), m_discId);
  const std::string sidecar = ExtrasFileName(Library(), m_discId);
  const auto timeout = std::chrono::milliseconds(fixtures::ScaledMs(60000));
  int torn = 0;
  for (int round = 0; round < 100 && !HasFailure(); ++round) {
    fixtures::ChildProcess lookups[2];
    for (int i = 0; i < 2; ++i) {
      fixtures::ChildOptions options;
      options.args = {KORVI_CLI_PATH, "lookup", m_image.cue.string(), "--pick", std::to_string(i + 1)};
      options.env = m_envList;
      // A runtime folder of each lookup's own: MusicBrainz's pace between processes, which would
      // make the two ask a second apart, has a test of its own.
      const auto runtime = m_dir / "run" / (std::to_string(round) + "-" + std::to_string(i));
      std::filesystem::create_directories(runtime);
      std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
      options.env.push_back("XDG_RUNTIME_DIR=" + runtime.string());
      ASSERT_TRUE(lookups[i].Start(options));
    }
    for (fixtures::ChildProcess& lookup : lookups) {
      const fixtures::ChildResult result = lookup.Finish(timeout);
      ASSERT_TRUE(result.exited && result.status == 0) << result.err;
      EXPECT_EQ(result.err.find("could not be saved"), std::string::npos) << result.err;
    }
    CDiscInfo kept;
    ASSERT_GT(kept.LoadDiscInfo(Library(), m_discId), 0);
    const bool kino = kept.albumTitle == kKino.title;
    ASSERT_TRUE(kino || kept.albumTitle == kTokyo.title) << kept.albumTitle;
    // The sidecar as it lies, and as a load takes it.
    DiscExtras lying;
    ASSERT_TRUE(ParseDiscExtras(ReadAll(sidecar), 3, lying)) << round;
    const std::string& release = kino ? kKino.id : kTokyo.id;
    if (lying.musicBrainzReleaseId != release || kept.extras.musicBrainzReleaseId != release) ++torn;
    // Not in the library again, so that the next round asks the stand-in.
    std::filesystem::remove(file);
    std::filesystem::remove(sidecar);
  }
  std::printf("[ measured ] %d of 100 rounds left one release's titles beside another's ids\n", torn);
  EXPECT_EQ(torn, 0);
}

// The disc is known by its TOC only, and the releases found are a two-disc set whose second disc
// it is, another pressing and a release whose lengths are far from the disc's. The set's second
// medium is taken (its disc id has the disc's lengths), the pressings are told apart in the list,
// and the tags carry the release's own date beside its first release's. When no medium of the set
// is close, its media are listed, each its own match.
TEST_F(KorviCliTitles, ATocMatchTakesTheMediumOfTheDiscAndTheTagsItsDates) {
  Json set = Release("Die Sammlung", "2001-11-21",
                     Json::array({Medium(1, "Eins", Lengths(400), {}), Medium(2, "Zwei", {}, Lengths())}));
  set["country"] = "DE";
  set["barcode"] = "4006381333931";
  set["label-info"] = {{{"catalog-number", "OW-2"}, {"label", {{"name", "Ostwind"}}}}};
  set["release-group"] = {{"first-release-date", "1985-03-01"}};
  ServeTocReply(Json::array({set, Release("Fern", "1990", Json::array({Medium(1, "Fern", Lengths(400), {})})),
                             Release("Nah", "1999-05", Json::array({Medium(1, "Nah", Lengths(3), {})}))}));
  std::string err;
  const auto found = Cli("lookup " + Cue() + " --no-save", &err);
  ASSERT_EQ(found.status, 0) << err;
  EXPECT_EQ(found.out, "Die Sammlung\nDie Band\nZwei 1\nZwei 2\nZwei 3\n");
  EXPECT_EQ(
      err,
      "korvi-cli: MusicBrainz has 3 matches for the disc:\n"
      "  1. Die Sammlung / Die Band (2001-11-21, DE, Ostwind OW-2, barcode 4006381333931, CD, disc 2 of 2, "
      "3 tracks)\n"
      "  2. Nah / Die Band (1999-05, CD, 3 tracks)\n"
      "  3. Fern / Die Band (1990, CD, 3 tracks)\n"
      "korvi-cli: titles from MusicBrainz, match 1\n");

  const auto rip = Rip("flac --lookup --tracks 2", &err);
  ASSERT_EQ(rip.out, (m_dir / "out" / "Zwei 2.flac").string() + "\n") << err;
  const std::string tags = FlacTags(m_dir / "out" / "Zwei 2.flac");
  for (const char* field : {"TITLE=Zwei 2\n", "DATE=2001-11-21\n", "ORIGINALDATE=1985-03-01\n",
                            "DISCNUMBER=2\n", "DISCTOTAL=2\n", "MUSICBRAINZ_TRACKID=Zwei-recording-2\n"})
    EXPECT_NE(tags.find(field), std::string::npos) << field << " in\n" << tags;

  // No medium of the set within a few sectors a track: each is offered, none guessed.
  ServeTocReply(Json::array({Release("Die Sammlung", "2001",
                                     Json::array({Medium(1, "Eins", Lengths(400), Lengths(400)),
                                                  Medium(2, "Zwei", Lengths(-40), Lengths(40))}))}));
  const auto listed =
      Cli("lookup " + Cue() + " --no-save --pick 2 --library " + ShellQuote((m_dir / "other-lib").string()),
          &err);
  ASSERT_EQ(listed.status, 0) << err;
  EXPECT_EQ(listed.out, "Die Sammlung\nDie Band\nZwei 1\nZwei 2\nZwei 3\n");
  EXPECT_EQ(err,
            "korvi-cli: MusicBrainz has 2 matches for the disc:\n"
            "  1. Die Sammlung / Die Band (2001, CD, disc 1 of 2, 3 tracks)\n"
            "  2. Die Sammlung / Die Band (2001, CD, disc 2 of 2, 3 tracks)\n"
            "korvi-cli: titles from MusicBrainz, match 2\n");
}

// A release that names neither a date nor a track list leaves the year out of the library and the
// tags (a rip without titles is MP3's test). A library file of an earlier version keeps its 2003.
TEST_F(KorviCliTitles, AYearThatNothingNamedIsLeftOut) {
  WriteSettings("MusicBrainz");
  ServeTocReply(
      Json::array({Release("Ohne Liste", "", Json::array({{{"position", 1}, {"track-count", 3}}}))}));
  std::string err;
  const auto rip = [&](const std::string& track) {
    EXPECT_EQ(Rip("flac --lookup --tracks " + track, &err).status, 0) << err;
    return FlacTags(m_dir / "out" / ("Track " + track + ".flac"));
  };
  std::string tags = rip("2");
  EXPECT_NE(tags.find("MUSICBRAINZ_ALBUMID=Ohne Liste-id\n"), std::string::npos) << tags;
  EXPECT_EQ(tags.find("DATE="), std::string::npos) << tags;
  CDiscInfo kept;
  ASSERT_GT(kept.LoadDiscInfo(Library(), m_discId), 0);
  for (const CTrackInfo& track : kept.tracks) EXPECT_EQ(track.year, kNoYear) << track.title();

  // Numbered tracks holding 2003 and nothing else still count as numbered only: the disc's own
  // CD-Text names the album artist.
  for (CTrackInfo& track : kept.tracks) track.year = 2003;
  kept.albumTitle.clear();
  kept.albumArtist.clear();
  kept.extras = DiscExtras();
  ASSERT_GT(kept.SaveDiscInfo(Library()), 0);
  tags = rip("3");
  EXPECT_NE(tags.find("DATE=2003\n"), std::string::npos) << tags;
  EXPECT_NE(tags.find("ALBUMARTIST=Die Band\n"), std::string::npos) << tags;
}

// Lookups in several processes at once keep MusicBrainz's pace of one request a second between
// them, through the file in the runtime folder. A time to come in that file, or a lock on it held
// for good, costs at most one interval, never a hang.
TEST_F(KorviCliTitles, EveryProcessKeepsMusicBrainzsPace) {
  ServeReleases({kTokyo});
  const auto runtime = m_dir / "run";
  std::filesystem::create_directory(runtime);
  std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
  std::vector<std::string> env = m_envList;
  env.push_back("XDG_RUNTIME_DIR=" + runtime.string());
  const auto timeout = std::chrono::milliseconds(fixtures::ScaledMs(20000));
  const auto lookups = [&](int count) {
    std::vector<std::unique_ptr<fixtures::ChildProcess>> children;
    for (int i = 0; i < count; ++i) {
      fixtures::ChildOptions options;
      options.args = {KORVI_CLI_PATH, "lookup", m_image.cue.string(), "--no-save"};
      options.env = env;
      children.push_back(std::make_unique<fixtures::ChildProcess>());
      EXPECT_TRUE(children.back()->Start(options));
    }
    for (auto& child : children) {
      const fixtures::ChildResult result = child->Finish(timeout);
      EXPECT_TRUE(result.exited && result.status == 0) << result.err;
      EXPECT_EQ(result.out.substr(0, result.out.find('\n')), kTokyo.title);
    }
  };
  lookups(3);
  std::vector<HttpTestServer::Request> requests = m_musicBrainz.Requests();
  ASSERT_EQ(requests.size(), 3u);
  for (size_t i = 1; i < requests.size(); ++i) {
    const auto gap =
        std::chrono::duration_cast<std::chrono::milliseconds>(requests[i].arrived - requests[i - 1].arrived);
    // The pace is kept from each request's start; its arrival may lag by a little.
    EXPECT_GE(gap.count(), 950) << "between requests " << i << " and " << i + 1;
  }

  const auto file = runtime / "korvi-cd-ripper" / PaceFileName("http://" + m_musicBrainz.HostPort());
  ASSERT_TRUE(std::filesystem::is_regular_file(file));
  // An hour to come, in the file's milliseconds of the system's steady clock.
  const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now().time_since_epoch());
  std::ofstream(file, std::ios::trunc) << now.count() + 3600000 << "\n";
  lookups(1);
  {
    const int held = ::open(file.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    lookups(1);
    ::close(held);
  }
  EXPECT_EQ(m_musicBrainz.Requests().size(), 5u);
}

// A reply of 4 MiB nested thousands deep, or made of countless tiny values, is refused before it
// is built: the lookup costs little more memory than one of a real reply.
TEST_F(KorviCliTitles, ARepliesShapeBoundsItsCost) {
  WriteSettings("MusicBrainz");
  const auto peakKb = [&](std::string body, std::string* err) {
    m_musicBrainz.SetResponse(m_mbPath, {HttpTestServer::Mode::kReply, 200, std::move(body)});
    fixtures::ChildOptions options;
    options.args = {KORVI_CLI_PATH, "lookup", m_image.cue.string(), "--no-save"};
    options.env = m_envList;
    const fixtures::ChildResult result =
        fixtures::RunChild(options, std::chrono::milliseconds(fixtures::ScaledMs(60000)));
    *err = result.err;
    return result.peakRssKb;
  };
  std::string err;
  const long real = peakKb(fixtures::MusicBrainzDiscReply(m_mbPath.substr(13), {kTokyo, kKino}), &err);
  ASSERT_NE(err.find("titles from MusicBrainz"), std::string::npos) << err;
  const long deep = peakKb(std::string(4 << 20, '['), &err);
  EXPECT_NE(err.find("the reply is not MusicBrainz JSON: it nests deeper than 32 levels"), std::string::npos)
      << err;
  EXPECT_LT(deep - real, 50 * 1024);
  std::string tiny = "[0";
  while (tiny.size() < (4u << 20) - 4) tiny += ",0";
  const long many = peakKb(tiny + "]", &err);
  EXPECT_NE(err.find("the reply is not MusicBrainz JSON: it holds more than 300000 values"),
            std::string::npos)
      << err;
  EXPECT_LT(many - real, 50 * 1024);
}

}  // namespace
}  // namespace korvi
