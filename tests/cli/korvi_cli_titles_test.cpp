// korvi-cli lookup and rip --lookup across the sources of the lookup order: a MusicBrainz stand-in
// that knows two releases of the disc, the CDDB stand-in behind it, and the disc's own CD-Text.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "fixtures/cddb_server.h"
#include "fixtures/child_process.h"
#include "fixtures/disc_image_writer.h"
#include "fixtures/http_server.h"
#include "fixtures/image_toc.h"
#include "fixtures/musicbrainz_replies.h"
#include "fixtures/temp_dir.h"
#include "fixtures/time_scale.h"
#include "library/disc_info.h"

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
            "  1. 東京 / 坂本龍一 (2001, JP, 3 tracks)\n"
            "  2. Группа крови / Кино (1988, RU, 3 tracks)\n"
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

}  // namespace
}  // namespace korvi
