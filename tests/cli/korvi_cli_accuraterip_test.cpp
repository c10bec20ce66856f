// korvi-cli rip proves its files against a stand-in for the AccurateRip database on 127.0.0.1, and
// leaves a log and a cue sheet that describe the disc: the database's file is built from the
// image's own audio, so a rip that reads the disc exactly matches it and one that misreads does not.

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "disc/cd_device.h"
#include "fixtures/accuraterip_db.h"
#include "fixtures/time_scale.h"
#include "fixtures/child_process.h"
#include "fixtures/disc_image_writer.h"
#include "fixtures/http_server.h"
#include "fixtures/temp_dir.h"
#include "verify/accuraterip_ids.h"

namespace korvi {
namespace {

using namespace std::chrono_literals;
using fixtures::DbTrack;
using fixtures::HttpTestServer;

std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class KorviCliAccurateRip : public ::testing::Test {
 protected:
  void SetUp() override {
    // Music before track 1 (a hidden track), a pre-gap of music before track 2 and one of 33
    // sectors before track 4.
    fixtures::ImageLayout layout;
    layout.tracks = {{false, 600, 200, {}}, {false, 500, 150, {}}, {false, 450, 0, {}}, {false, 520, 33, {}}};
    layout.seed = 31;
    layout.audiblePregaps = true;
    ASSERT_TRUE(fixtures::WriteCueBinImage(m_dir / "disc.cue", layout, &m_image, nullptr));
    m_ids = fixtures::IdsOfImage(m_image.cue);
    ASSERT_EQ(m_ids.audioTracks, 4);
    m_sums = fixtures::SumsOfImage(m_image);
    ASSERT_TRUE(m_server.Start());
    m_path = AccurateRipPath(m_ids);
    m_out = m_dir / "out";
    std::filesystem::create_directory(m_out);
  }

  void Serve(const std::string& body) {
    m_server.SetResponse(m_path, {HttpTestServer::Mode::kReply, 200, body});
  }

  fixtures::ChildResult Rip(std::vector<std::string> more, const std::string& faults = "") {
    fixtures::ChildOptions options;
    options.args = {KORVI_CLI_PATH, "rip",          m_image.cue.string(), "--format", "wav",
                    "--out",        m_out.string(), "--on-exists",        "overwrite"};
    options.args.insert(options.args.end(), more.begin(), more.end());
    const std::string home = (m_dir / "home").string();
    options.env = {"HOME=" + home, "XDG_CONFIG_HOME=" + home + "/config", "XDG_DATA_HOME=" + home + "/data",
                   "KORVI_ACCURATERIP_SERVER=" + m_server.HostPort()};
    if (!faults.empty()) {
      options.env.push_back("LD_PRELOAD=" KORVI_MISREAD_PATH);
      options.env.push_back("MISREAD_FAULTS=" + faults);
      // The sanitizers' runtime cannot come first when a library is preloaded.
      options.env.push_back("ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0");
    }
    return fixtures::RunChild(options, fixtures::Scaled(120s));
  }

  // The music before track 1, ripped with the rest when no --tracks is given.
  std::string Hidden() const { return (m_out / "00 - Hidden track.wav").string() + "\n"; }

  std::string Files(int first, int last) const {
    std::string out;
    for (int track = first; track <= last; ++track)
      out += (m_out / ("Track " + std::to_string(track) + ".wav")).string() + "\n";
    return out;
  }

  std::filesystem::path Report(const std::string& extension) const {
    char name[32];
    std::snprintf(name, sizeof name, "%08x%s", m_ids.cddbId, extension.c_str());
    return m_out / name;
  }

  fixtures::TempDir m_dir;
  fixtures::WrittenImage m_image;
  AccurateRipIds m_ids;
  std::vector<fixtures::ImageTrackSums> m_sums;
  HttpTestServer m_server;
  std::string m_path;
  std::filesystem::path m_out;
};

// Two pressings: one holds the v1 checksums of tracks 1 and 2, the other the v2 checksums of
// tracks 2 to 4. Every track is proven, each by its best entry, with one question to the server.
TEST_F(KorviCliAccurateRip, TwoPressingsProveEveryTrackAndTheReportsDescribeTheDisc) {
  const uint32_t wrong = 0x0BADF00D;
  Serve(
      fixtures::PressingBytes(m_ids, {{3, m_sums[0].v1}, {7, m_sums[1].v1}, {9, wrong}, {2, wrong}}) +
      fixtures::PressingBytes(m_ids, {{4, wrong}, {7, m_sums[1].v2}, {12, m_sums[2].v2}, {1, m_sums[3].v2}}));
  const fixtures::ChildResult rip = Rip({"--require-accurate"});
  ASSERT_EQ(rip.status, 0) << rip.err;
  EXPECT_EQ(rip.out, Hidden() + Files(1, 4) +
                         "AccurateRip track 1: Accurate (v1, confidence 3)\n"
                         "AccurateRip track 2: Accurate (v2, confidence 7)\n"
                         "AccurateRip track 3: Accurate (v2, confidence 12)\n"
                         "AccurateRip track 4: Accurate (v2, confidence 1)\n");
  EXPECT_NE(rip.err.find("4 of 4 tracks accurately ripped"), std::string::npos) << rip.err;
  ASSERT_EQ(m_server.Requests().size(), 1u);
  EXPECT_EQ(m_server.Requests()[0].line, "GET " + m_path + " HTTP/1.1");

  // Without an album title the log and the cue sheet are named after the disc id.
  const std::string log = ReadText(Report(".log"));
  EXPECT_NE(log.find("Accurate (v2, confidence 12)"), std::string::npos) << log;
  EXPECT_NE(log.find("All tracks accurately ripped"), std::string::npos) << log;
  EXPECT_NE(log.find("  Pre-gap         0:02.00"), std::string::npos) << log;  // track 2's 150 sectors
  EXPECT_NE(log.find("Read mode         Burst"), std::string::npos) << log;
  // Track 2's peak, worked out from the image: the largest magnitude of any 16-bit sample.
  const std::vector<uint8_t> track2 =
      fixtures::ReadBinSectors(m_image.bin, m_image.starts[1], m_image.starts[2] - 1);
  int peak = 0;
  for (size_t i = 0; i + 1 < track2.size(); i += 2)
    peak = std::max(peak, std::abs(int(int16_t(uint16_t(track2[i] | track2[i + 1] << 8)))));
  char peakLine[64];
  std::snprintf(peakLine, sizeof peakLine, "  Peak level      %.1f %%\n  Copy CRC", 100.0 * peak / 32768);
  EXPECT_NE(log.find(std::string("0:02.00\n") + peakLine), std::string::npos) << peakLine << log;

  // The hidden track: its own section in the log, with what its file holds.
  const std::vector<uint8_t> hidden = fixtures::ReadBinSectors(m_image.bin, 0, m_image.starts[0] - 1);
  char hiddenCrc[64];
  std::snprintf(hiddenCrc, sizeof hiddenCrc, "  Copy CRC        %08X\n",
                uint32_t(crc32(0, hidden.data(), uInt(hidden.size()))));
  const size_t hiddenSection = log.find("Hidden track before track 1\n  Title           Hidden track\n"
                                        "  File            00 - Hidden track.wav\n");
  ASSERT_NE(hiddenSection, std::string::npos) << log;
  EXPECT_EQ(log.find(hiddenCrc), log.find("  Copy CRC", hiddenSection)) << hiddenCrc << log;

  // The cue sheet, read back over the WAV files, is the whole disc: the same starts, the same
  // audio, the hidden track's music included.
  const std::filesystem::path cue = Report(".cue");
  std::string error;
  std::unique_ptr<CdDevice> original = CdDevice::Open(m_image.cue.string(), &error);
  std::unique_ptr<CdDevice> ripped = CdDevice::Open(cue.string(), &error);
  ASSERT_TRUE(original && ripped) << error << "\n" << ReadText(cue);
  DiscToc want, got;
  ASSERT_TRUE(original->ReadToc(want));
  ASSERT_TRUE(ripped->ReadToc(got)) << ripped->lastError() << "\n" << ReadText(cue);
  ASSERT_EQ(TocTrackCount(got.toc), 4);
  for (int n = 1; n <= 4; ++n) {
    EXPECT_EQ(SectorFromMsf(got.toc.TrackData[n - 1].Address), m_image.starts[size_t(n - 1)])
        << "track " << n;
    EXPECT_EQ(got.pregaps[size_t(n - 1)], want.pregaps[size_t(n - 1)]) << "track " << n;
  }
  EXPECT_EQ(SectorFromMsf(got.toc.TrackData[4].Address), m_image.leadOut);
  const int32_t first = 0, count = m_image.leadOut;
  std::vector<uint8_t> audio(size_t(count) * kRawSectorBytes);
  ASSERT_TRUE(ripped->ReadRawSectors(first, audio.data(), count));
  EXPECT_TRUE(audio == fixtures::ReadBinSectors(m_image.bin, first, m_image.leadOut - 1));
  // An independent reader takes it too.
  const fixtures::CommandResult printed =
      fixtures::RunCommand("cueprint " + fixtures::ShellQuote(cue.string()));
  EXPECT_EQ(printed.status, 0) << printed.out;
  EXPECT_NE(printed.out.find("no. of tracks:\t4"), std::string::npos) << printed.out;
}

// A drive that misreads part of track 2 gives a file the database does not know: that track, and
// only that one, is not accurate, and --require-accurate fails the rip.
TEST_F(KorviCliAccurateRip, AMisreadTrackIsNotAccurate) {
  std::vector<DbTrack> tracks;
  for (const fixtures::ImageTrackSums& sums : m_sums) tracks.push_back({5, sums.v2});
  Serve(fixtures::PressingBytes(m_ids, tracks));
  const int32_t spot = m_image.starts[1] + 100;
  const fixtures::ChildResult rip =
      Rip({"--require-accurate"}, "bad=" + std::to_string(spot) + "-" + std::to_string(spot + 3));
  EXPECT_EQ(rip.status, 1) << rip.err;
  EXPECT_EQ(rip.out, Hidden() + Files(1, 4) +
                         "AccurateRip track 1: Accurate (v2, confidence 5)\n"
                         "AccurateRip track 2: Not accurate\n"
                         "AccurateRip track 3: Accurate (v2, confidence 5)\n"
                         "AccurateRip track 4: Accurate (v2, confidence 5)\n");
  EXPECT_NE(rip.err.find("3 of 4 tracks accurately ripped"), std::string::npos) << rip.err;
  EXPECT_NE(rip.err.find("not every track was ripped accurately"), std::string::npos) << rip.err;
  // The log proves each track as peers' logs do: its own checksums beside the database's.
  const std::string log = ReadText(Report(".log"));
  EXPECT_NE(log.find("  Track 2: Not accurate"), std::string::npos);
  EXPECT_NE(log.find("Output format     WAV, 16-bit stereo PCM\n"), std::string::npos) << log;
  const auto hex = [](uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%08X", value);
    return std::string(text);
  };
  EXPECT_NE(log.find("  AR v1 checksum  " + hex(m_sums[0].v1) + "\n  AR v2 checksum  " + hex(m_sums[0].v2) +
                     "\n  AR database     " + hex(m_sums[0].v2) + " (v2, confidence 5)\n"),
            std::string::npos)
      << log;
  // Track 2's own sums are the misread audio's; the database holds the disc's.
  EXPECT_NE(log.find("Not accurate\n  AR v1 checksum  "), std::string::npos) << log;
  EXPECT_NE(log.find("  AR database     " + hex(m_sums[1].v2) + " (confidence 5)\n"), std::string::npos) << log;
  EXPECT_EQ(log.find(hex(m_sums[1].v2) + "\n  AR database"), std::string::npos) << log;
}

// What the database cannot answer is said as such, and never holds the rip up for long.
// A folder where track 3's file should go: the database would prove its audio, but no file holds
// it, so it is reported as failed everywhere, never as accurate, and the cue sheet leaves it out.
TEST_F(KorviCliAccurateRip, ATrackWithoutAFileIsNeverCalledAccurate) {
  std::vector<DbTrack> tracks;
  for (const fixtures::ImageTrackSums& sums : m_sums) tracks.push_back({7, sums.v1});
  Serve(fixtures::PressingBytes(m_ids, tracks));
  std::filesystem::create_directory(m_out / "Track 3.wav");
  const fixtures::ChildResult rip = Rip({});
  EXPECT_EQ(rip.status, 1) << rip.err;
  EXPECT_EQ(rip.out, Hidden() + Files(1, 2) + Files(4, 4) +
                         "AccurateRip track 1: Accurate (v1, confidence 7)\n"
                         "AccurateRip track 2: Accurate (v1, confidence 7)\n"
                         "AccurateRip track 3: not verified, no file was written\n"
                         "AccurateRip track 4: Accurate (v1, confidence 7)\n");
  EXPECT_NE(rip.err.find("3 of 4 tracks accurately ripped"), std::string::npos) << rip.err;
  const std::string log = ReadText(Report(".log"));
  const std::string section =
      log.substr(log.find("Track 3\n"), log.find("Track 4\n") - log.find("Track 3\n"));
  EXPECT_NE(section.find("  AccurateRip     not verified: no file was written"), std::string::npos) << log;
  EXPECT_NE(section.find("  Failed          is a folder"), std::string::npos) << log;
  EXPECT_EQ(section.find("Read quality"), std::string::npos) << log;
  EXPECT_EQ(section.find("Copy CRC"), std::string::npos) << log;
  const std::string cue = ReadText(Report(".cue"));
  EXPECT_EQ(cue.find("Track 3.wav"), std::string::npos) << cue;
  const fixtures::CommandResult printed =
      fixtures::RunCommand("cueprint " + fixtures::ShellQuote(Report(".cue").string()) + " 2>&1");
  EXPECT_EQ(printed.status, 0) << printed.out;
}

TEST_F(KorviCliAccurateRip, AMissingBrokenOrSilentDatabaseIsNamed) {
  m_server.SetResponse(m_path, {HttpTestServer::Mode::kReply, 404, "Not Found"});
  fixtures::ChildResult rip = Rip({"--tracks", "3", "--no-log", "--no-cue"});
  EXPECT_EQ(rip.status, 0) << rip.err;
  EXPECT_EQ(rip.out, Files(3, 3) + "AccurateRip track 3: Not in database\n");
  EXPECT_EQ(Rip({"--tracks", "3", "--require-accurate", "--no-log", "--no-cue"}).status, 1);

  const std::string whole = fixtures::PressingBytes(m_ids, {{5, m_sums[0].v2}, {5, 1}, {5, 2}, {5, 3}});
  m_server.SetResponse(m_path, {HttpTestServer::Mode::kTruncated, 200, whole.substr(0, 20), whole.size()});
  rip = Rip({"--tracks", "3", "--no-log", "--no-cue"});
  EXPECT_EQ(rip.out, Files(3, 3) + "AccurateRip track 3: Database not reachable\n");
  // The log says why, and where samples beyond the disc's end became silence (a read offset).
  rip = Rip({"--tracks", "4", "--offset", "30", "--no-cue"});
  const std::string log = ReadText(Report(".log"));
  EXPECT_NE(log.find("AccurateRip       database not reachable: "), std::string::npos) << log;
  EXPECT_NE(log.find("  Out of reach    30 samples beyond the drive's reach are silence\n"), std::string::npos)
      << log;
  // A reply that parses as no pressing at all is no answer either.
  Serve(whole.substr(0, 20));
  rip = Rip({"--tracks", "3", "--no-log", "--no-cue"});
  EXPECT_EQ(rip.out, Files(3, 3) + "AccurateRip track 3: Database not reachable\n");

  HttpTestServer::Response stall;
  stall.mode = HttpTestServer::Mode::kStall;
  m_server.SetResponse(m_path, stall);
  const auto start = std::chrono::steady_clock::now();
  rip = Rip({"--tracks", "3", "--no-log", "--no-cue"});
  EXPECT_LT(std::chrono::steady_clock::now() - start, 60s);
  EXPECT_EQ(rip.status, 0) << rip.err;
  EXPECT_EQ(rip.out, Files(3, 3) + "AccurateRip track 3: Database not reachable\n");
}

}  // namespace
}  // namespace korvi
