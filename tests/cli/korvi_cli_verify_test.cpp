// korvi-cli verify against a local stand-in for the AccurateRip database: a rip's WAV files as it
// left them, damaged, missing, named after the library's titles, and files that are not the track.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "cddb/disc_id.h"
#include "disc/cd_device.h"
#include "fixtures/accuraterip_db.h"
#include "fixtures/disc_image_writer.h"
#include "fixtures/http_server.h"
#include "fixtures/temp_dir.h"
#include "library/disc_info.h"

namespace korvi {
namespace {

using fixtures::RunCommand;
using fixtures::ShellQuote;

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteAll(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::string Word(uint32_t value, int bytes) {
  std::string out;
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>(value >> (8 * i)));
  return out;
}

// A WAV file of pcm with the given format and, before the data, chunks as they are.
std::string Wave(const std::string& pcm, uint16_t channels, uint32_t rate, const std::string& chunks = "",
                 uint32_t dataBytes = 0) {
  const uint16_t align = static_cast<uint16_t>(channels * 2);
  const std::string fmt =
      Word(1, 2) + Word(channels, 2) + Word(rate, 4) + Word(rate * align, 4) + Word(align, 2) + Word(16, 2);
  const std::string body = "WAVEfmt " + Word(16, 4) + fmt + chunks + "data" +
                           Word(dataBytes ? dataBytes : uint32_t(pcm.size()), 4) + pcm;
  return "RIFF" + Word(uint32_t(body.size()), 4) + body;
}

class KorviCliVerify : public ::testing::Test {
 protected:
  void SetUp() override {
    fixtures::ImageLayout layout;
    layout.tracks = {{false, 300, 0, {}}, {false, 220, 150, {}}, {false, 180, 20, {}}};
    ASSERT_TRUE(fixtures::WriteCueBinImage(m_dir / "disc.cue", layout, &m_image, nullptr));
    m_out = m_dir / "out";
    std::filesystem::create_directory(m_out);
    ASSERT_TRUE(m_server.Start());
    m_env = "HOME=" + ShellQuote(m_dir.path().string()) +
            " XDG_CONFIG_HOME=" + ShellQuote((m_dir / "config").string()) +
            " XDG_DATA_HOME=" + ShellQuote((m_dir / "data").string()) +
            " KORVI_ACCURATERIP_SERVER=" + m_server.HostPort() + " ";
    const auto rip =
        RunCommand(m_env + ShellQuote(KORVI_CLI_PATH) + " rip " + ShellQuote(m_image.cue.string()) +
                   " --format wav --out " + ShellQuote(m_out.string()) + " --no-verify --no-log --no-cue");
    ASSERT_EQ(rip.status, 0);
    ASSERT_TRUE(std::filesystem::exists(Track(3)));
    m_ids = fixtures::IdsOfImage(m_image.cue);
    ASSERT_EQ(m_ids.audioTracks, 3);
  }

  // The database's file: track 1 known by its v1 checksum, the others by their v2.
  void ServeMatchingPressing() {
    const std::vector<fixtures::ImageTrackSums> sums = fixtures::SumsOfImage(m_image);
    const std::string file =
        fixtures::PressingBytes(m_ids, {{7, sums[0].v1}, {7, sums[1].v2}, {12, sums[2].v2}});
    m_server.SetResponse(AccurateRipPath(m_ids), {fixtures::HttpTestServer::Mode::kReply, 200, file});
  }

  struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
  };
  Outcome Verify(const std::string& extra = "") {
    const std::filesystem::path err = m_dir / "err.txt";
    const auto result =
        RunCommand(m_env + ShellQuote(KORVI_CLI_PATH) + " verify " + ShellQuote(m_image.cue.string()) + " " +
                   ShellQuote(m_out.string()) + extra + " 2>" + ShellQuote(err.string()));
    return {result.status, result.out, ReadAll(err)};
  }

  std::filesystem::path Track(int number) const {
    return m_out / ("Track " + std::to_string(number) + ".wav");
  }
  // The PCM of a track's ripped file, after the header our writer gives it.
  std::string RippedPcm(int number) const {
    const std::string file = ReadAll(Track(number));
    EXPECT_EQ(file.substr(36, 4), "data");
    return file.substr(44);
  }

  fixtures::TempDir m_dir;
  fixtures::WrittenImage m_image;
  std::filesystem::path m_out;
  fixtures::HttpTestServer m_server;
  std::string m_env;
  AccurateRipIds m_ids;
};

constexpr const char* kAllAccurate =
    "AccurateRip track 1: Accurate (v1, confidence 7)\n"
    "AccurateRip track 2: Accurate (v2, confidence 7)\n"
    "AccurateRip track 3: Accurate (v2, confidence 12)\n";

TEST_F(KorviCliVerify, EveryTrackMatchesThenADamagedAndAMissingFileDoNot) {
  ServeMatchingPressing();
  const Outcome good = Verify();
  EXPECT_EQ(good.status, 0) << good.err;
  EXPECT_EQ(good.out, kAllAccurate);
  EXPECT_EQ(good.err, "korvi-cli: 3 of 3 tracks accurately ripped\n");
  ASSERT_EQ(m_server.Requests().size(), 1u);
  EXPECT_EQ(m_server.Requests()[0].line, "GET " + AccurateRipPath(m_ids) + " HTTP/1.1");

  // A few flipped bytes in the middle of track 2's samples; track 3 gone.
  {
    std::fstream file(Track(2), std::ios::in | std::ios::out | std::ios::binary);
    const auto middle = std::streamoff(44 + (std::filesystem::file_size(Track(2)) - 44) / 2);
    char bytes[6];
    file.seekg(middle);
    file.read(bytes, sizeof bytes);
    for (char& byte : bytes) byte = static_cast<char>(~byte);
    file.seekp(middle);
    file.write(bytes, sizeof bytes);
  }
  std::filesystem::remove(Track(3));
  const Outcome bad = Verify();
  EXPECT_EQ(bad.status, 1);
  EXPECT_EQ(bad.out, "AccurateRip track 1: Accurate (v1, confidence 7)\nAccurateRip track 2: Not accurate\n");
  EXPECT_NE(bad.err.find("korvi-cli: track 3: no file " + Track(3).string() + "\n"), std::string::npos)
      << bad.err;
  EXPECT_NE(bad.err.find("korvi-cli: 1 of 3 tracks accurately ripped\n"), std::string::npos) << bad.err;
}

TEST_F(KorviCliVerify, UnknownDiscStoppedServerAndUsageErrors) {
  const Outcome unknown = Verify();  // the server has no file: 404
  EXPECT_EQ(unknown.status, 1);
  EXPECT_EQ(unknown.out,
            "AccurateRip track 1: Not in database\nAccurateRip track 2: Not in database\n"
            "AccurateRip track 3: Not in database\n");
  EXPECT_NE(unknown.err.find("0 of 3 tracks accurately ripped"), std::string::npos) << unknown.err;

  m_server.Stop();
  const Outcome unreachable = Verify();
  EXPECT_EQ(unreachable.status, 1);
  EXPECT_NE(unreachable.out.find("AccurateRip track 2: Database not reachable\n"), std::string::npos)
      << unreachable.out;
  EXPECT_NE(unreachable.err.find("No track could be verified: the AccurateRip database was not reachable\n"),
            std::string::npos)
      << unreachable.err;

  EXPECT_EQ(RunCommand(m_env + ShellQuote(KORVI_CLI_PATH) + " verify " + ShellQuote(m_image.cue.string()) +
                       " 2>/dev/null")
                .status,
            2);
  EXPECT_EQ(Verify(" --frobnicate").status, 2);
  EXPECT_EQ(Verify(" --library").status, 2);
}

// A rip with --lookup names the files after the library's titles; a file of the other name is
// found too, and a missing one is named both ways.
TEST_F(KorviCliVerify, FilesNamedAfterTheLibrarysTitles) {
  ServeMatchingPressing();
  auto device = CdDevice::Open(m_image.cue.string());
  DiscToc disc;
  ASSERT_TRUE(device && device->ReadToc(disc));
  CDiscInfo record;
  record.discId = DiscIdOf(disc.toc);
  record.albumTitle = "Songs of the Sea";
  for (const char* title : {"Tide", "Gulls / Wind", "Track 3"}) record.tracks.emplace_back(0, 0, title);
  const std::filesystem::path library = m_dir / "lib";
  std::filesystem::create_directory(library);
  ASSERT_GT(record.SaveDiscInfo(library.string()), 0);
  std::filesystem::rename(Track(1), m_out / "Tide.wav");

  const Outcome titled = Verify(" --library " + ShellQuote(library.string()));
  EXPECT_EQ(titled.status, 0) << titled.err;
  EXPECT_EQ(titled.out, kAllAccurate);

  std::filesystem::remove(Track(2));
  const Outcome missing = Verify(" --library " + ShellQuote(library.string()));
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("korvi-cli: track 2: no file " + (m_out / "Gulls _ Wind.wav").string() + " or " +
                             Track(2).string() + "\n"),
            std::string::npos)
      << missing.err;
  // Without the library, Tide.wav is not a name of track 1.
  EXPECT_NE(Verify().err.find("korvi-cli: track 1: no file " + Track(1).string() + "\n"), std::string::npos);
}

// Files that are not the track's audio as a rip writes it: each named with what is wrong, the
// track not accurate, and the tool going on to the end. Chunks before the data are no harm.
TEST_F(KorviCliVerify, FilesThatAreNotTheTrackAreNamedNotCrashedOn) {
  ServeMatchingPressing();
  const std::string pcm1 = RippedPcm(1), pcm2 = RippedPcm(2), pcm3 = RippedPcm(3);
  // An odd-sized LIST chunk and its pad byte between the format and the data.
  WriteAll(Track(1), Wave(pcm1, 2, 44100, "LIST" + Word(5, 4) + "INFOx" + std::string(1, '\0')));
  WriteAll(Track(2), Wave(pcm2, 2, 44100, "", 0xFFFFFFF0u));  // a data size far past the file's end
  WriteAll(Track(3), Wave(pcm3, 1, 48000));
  const Outcome first = Verify();
  EXPECT_EQ(first.status, 1);
  EXPECT_EQ(first.out, "AccurateRip track 1: Accurate (v1, confidence 7)\n");
  EXPECT_NE(
      first.err.find("track 2: " + Track(2).string() + ": truncated: the data chunk says 4294967280 bytes"),
      std::string::npos)
      << first.err;
  EXPECT_NE(first.err.find("track 3: " + Track(3).string() + ": not CD audio"), std::string::npos)
      << first.err;
  EXPECT_NE(first.err.find("48000 Hz"), std::string::npos) << first.err;
  EXPECT_NE(first.err.find("1 of 3 tracks accurately ripped"), std::string::npos) << first.err;

  WriteAll(Track(1), Wave(pcm1.substr(0, pcm1.size() - 2352), 2, 44100));  // a sector short
  WriteAll(Track(2), "this is not a WAV file\n");
  WriteAll(Track(3), Wave(pcm3, 2, 44100).substr(0, 1000));  // the file cut off
  const Outcome second = Verify();
  EXPECT_EQ(second.status, 1);
  EXPECT_EQ(second.out, "");
  EXPECT_NE(
      second.err.find("track 1: " + Track(1).string() + ": holds " + std::to_string(pcm1.size() / 4 - 588) +
                      " samples, the track " + std::to_string(pcm1.size() / 4)),
      std::string::npos)
      << second.err;
  EXPECT_NE(second.err.find("track 2: " + Track(2).string() + ": not a WAV file"), std::string::npos)
      << second.err;
  EXPECT_NE(second.err.find("track 3: " + Track(3).string() + ": truncated"), std::string::npos)
      << second.err;
  EXPECT_NE(second.err.find("0 of 3 tracks accurately ripped"), std::string::npos) << second.err;
}

}  // namespace
}  // namespace korvi
