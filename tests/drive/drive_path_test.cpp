// Rips through the emulated drive of what only a drive gives or does: the disc's CD-Text, catalogue
// number and ISRCs reach the log and the cue sheet (cueprint reads it back); a tray opened or a
// disc changed in the middle of a rip ends it with that cause, keeps the tracks read before and
// leaves no file for the track under way; medium errors of a secure rip are named by their place.

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>

#include "drive/drive_env.h"
#include "fixtures/child_process.h"
#include "fixtures/disc_image_writer.h"
#include "fixtures/temp_dir.h"
#include "fixtures/time_scale.h"

namespace korvi {
namespace {

const std::string kDrive = "/dev/sr23";
constexpr size_t kWaveHeader = 44;

// The one file in folder whose name ends with extension; empty when there is not exactly one.
std::filesystem::path OnlyFile(const std::filesystem::path& folder, const std::string& extension) {
  std::vector<std::filesystem::path> found;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    if (entry.path().extension() == extension) found.push_back(entry.path());
  return found.size() == 1 ? found[0] : std::filesystem::path();
}

class DrivePath : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fixtures::WriteCueBinImage(m_dir / "disc.cue", fixtures::ThreeTrackDisc(11), &m_image, nullptr));
  }

  fixtures::ChildResult Run(std::vector<std::string> args, const std::string& behaviours) {
    fixtures::ChildOptions options;
    options.args = std::move(args);
    options.env = fixtures::FakeDriveEnv(kDrive + "=" + m_image.cue.string() + behaviours, m_dir / "home");
    // Nothing answers there: a lookup falls through to the disc's CD-Text.
    options.env.insert(options.env.end(), {"KORVI_CDDB_SERVER=127.0.0.1:9", "KORVI_MUSICBRAINZ_SERVER=http://127.0.0.1:9"});
    options.workDir = m_dir.path();
    return fixtures::RunChild(options, fixtures::Scaled(std::chrono::milliseconds(120000)));
  }

  fixtures::ChildResult Rip(const std::string& folder, const std::string& behaviours,
                            std::vector<std::string> more = {}) {
    std::filesystem::create_directories(m_dir / folder);
    std::vector<std::string> args = {
        KORVI_CLI_PATH, "rip", kDrive,       "--format", "wav", "--out", (m_dir / folder).string(),
        "--jobs",       "1",   "--no-verify"};
    args.insert(args.end(), more.begin(), more.end());
    return Run(args, behaviours);
  }

  // Whether the file holds exactly the image's audio of track n (1-based).
  bool HoldsTrack(const std::filesystem::path& file, int n) const {
    const int32_t last =
        size_t(n) < m_image.starts.size() ? m_image.starts[size_t(n)] - 1 : m_image.leadOut - 1;
    const std::vector<uint8_t> disc =
        fixtures::ReadBinSectors(m_image.bin, m_image.starts[size_t(n - 1)], last);
    const std::string bytes = fixtures::FileText(file);
    return bytes.size() == kWaveHeader + disc.size() &&
           std::equal(disc.begin(), disc.end(), bytes.begin() + long(kWaveHeader),
                      [](uint8_t a, char b) { return a == uint8_t(b); });
  }

  // The cue sheet with the disc's texts and codes added, as a pressed disc carries them.
  void AddTextAndCodes() {
    std::string cue = fixtures::FileText(m_image.cue);
    cue = "CATALOG 4006381333931\nPERFORMER \"Tr\xC3\xA4umer Ensemble\"\nTITLE \"Caf\xC3\xA9 Nocturnes\"\n" +
          cue;
    for (int n = 1; n <= 3; ++n) {
      const std::string track = "  TRACK 0" + std::to_string(n) + " AUDIO\n";
      const size_t at = cue.find(track);
      ASSERT_NE(at, std::string::npos) << cue;
      cue.insert(at + track.size(), "    TITLE \"Nocturne No. " + std::to_string(n) +
                                        " in a title longer than one pack\"\n    PERFORMER \"Voice " +
                                        std::to_string(n) + "\"\n    ISRC DEKRV260000" + std::to_string(n) +
                                        "\n");
    }
    std::ofstream(m_image.cue, std::ios::trunc) << cue;
  }

  fixtures::TempDir m_dir;
  fixtures::WrittenImage m_image;
};

TEST_F(DrivePath, TheDrivesCdTextCatalogueNumberAndIsrcsReachTheLogAndTheCueSheet) {
  AddTextAndCodes();
  const fixtures::ChildResult rip = Rip("out", "", {"--mode", "burst", "--lookup"});
  ASSERT_TRUE(rip.exited) << rip.err;
  ASSERT_EQ(rip.status, 0) << rip.out << rip.err;
  // Titled from the drive's CD-Text, the one source that answered.
  const std::filesystem::path log = OnlyFile(m_dir / "out", ".log");
  ASSERT_FALSE(log.empty()) << rip.out;
  const std::string logText = fixtures::FileText(log);
  EXPECT_NE(logText.find("Album artist      Tr\xC3\xA4umer Ensemble\n"), std::string::npos) << logText;
  EXPECT_NE(logText.find("Album title       Caf\xC3\xA9 Nocturnes\n"), std::string::npos) << logText;
  EXPECT_NE(logText.find("Catalog           4006381333931\n"), std::string::npos) << logText;
  for (int n = 1; n <= 3; ++n) {
    const std::string number = std::to_string(n);
    EXPECT_NE(logText.find("  Title           Nocturne No. " + number + " in a title longer than one pack\n"),
              std::string::npos)
        << logText;
    EXPECT_NE(logText.find("  Artist          Voice " + number + "\n"), std::string::npos) << logText;
    EXPECT_NE(logText.find("  ISRC            DEKRV260000" + number + "\n"), std::string::npos) << logText;
  }

  const std::filesystem::path cue = OnlyFile(m_dir / "out", ".cue");
  ASSERT_FALSE(cue.empty());
  EXPECT_NE(fixtures::FileText(cue).find("CATALOG 4006381333931\n"), std::string::npos) << fixtures::FileText(cue);
  fixtures::ChildOptions print;
  print.args = {"/bin/sh",
                "-c",
                "command -v cueprint >/dev/null || exit 127; exec cueprint \"$@\"",
                "sh",
                "-d",
                "%T|%P|%N\n",
                "-t",
                "%n|%t|%p|%i\n",
                cue.string()};
  const fixtures::ChildResult printed =
      fixtures::RunChild(print, fixtures::Scaled(std::chrono::milliseconds(10000)));
  if (printed.exited && printed.status == 127) GTEST_SKIP() << "cueprint (cuetools) is not installed";
  ASSERT_EQ(printed.status, 0) << printed.err;
  EXPECT_EQ(printed.out,
            "Caf\xC3\xA9 Nocturnes|Tr\xC3\xA4umer Ensemble|3\n"
            "1|Nocturne No. 1 in a title longer than one pack|Voice 1|DEKRV2600001\n"
            "2|Nocturne No. 2 in a title longer than one pack|Voice 2|DEKRV2600002\n"
            "3|Nocturne No. 3 in a title longer than one pack|Voice 3|DEKRV2600003\n");
}

TEST_F(DrivePath, ATrayOpenedOrADiscChangedDuringARipEndsItWithThatCauseAndNoFileForTheTrackUnderWay) {
  struct Case {
    std::string behaviour;
    std::string mode;
    std::string cause;
  };
  const Case cases[] = {{",open_after=1200", "burst", "the drive's tray was opened"},
                        {",change_after=1200", "burst", "the disc was changed"},
                        {",change_after=3500", "secure", "the disc was changed"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.behaviour + " " + c.mode);
    const std::string folder = c.mode + c.behaviour.substr(1, c.behaviour.find('=') - 1);
    const fixtures::ChildResult rip = Rip(folder, c.behaviour, {"--mode", c.mode});
    ASSERT_TRUE(rip.exited) << rip.err;
    EXPECT_EQ(rip.status, 1) << rip.out << rip.err;
    EXPECT_NE(rip.err.find("korvi-cli: the rip ended early: " + c.cause + "\n"), std::string::npos)
        << rip.err;
    // The tracks read before are whole; the one under way failed for the cause, with no file; no
    // track after it was begun; nothing half-written is left behind.
    const std::filesystem::path out = m_dir / folder;
    int cut = 0;
    for (int n = 1; n <= 3 && cut == 0; ++n) {
      const std::filesystem::path file = out / ("Track " + std::to_string(n) + ".wav");
      if (std::filesystem::exists(file))
        EXPECT_TRUE(HoldsTrack(file, n)) << n;
      else
        cut = n;
    }
    ASSERT_GE(cut, 2) << "the first track was not kept: " << rip.err;
    for (int n = cut; n <= 3; ++n)
      EXPECT_FALSE(std::filesystem::exists(out / ("Track " + std::to_string(n) + ".wav"))) << n;
    EXPECT_NE(rip.err.find("Track " + std::to_string(cut) + ".wav: " + c.cause +
                           " while the track was read; it has no file"),
              std::string::npos)
        << rip.err;
    for (const auto& entry : std::filesystem::directory_iterator(out))
      EXPECT_TRUE(entry.path().extension() == ".wav" || entry.path().extension() == ".log" ||
                  entry.path().extension() == ".cue")
          << entry.path();
    const std::string log = fixtures::FileText(OnlyFile(out, ".log"));
    EXPECT_NE(log.find("The rip ended early: " + c.cause + "\n"), std::string::npos) << log;
  }
}

TEST_F(DrivePath, MediumErrorsOfASecureRipAreNamedByTheirPlaceInTheTrack) {
  // Sectors 1000 to 1002: 25 sectors (0:00.25) into track 2, which begins at 975.
  ASSERT_EQ(m_image.starts[1], 975);
  const fixtures::ChildResult rip = Rip("secure", ",bad=1000-1002", {"--mode", "secure"});
  ASSERT_TRUE(rip.exited) << rip.err;
  EXPECT_EQ(rip.status, 1) << rip.err;
  EXPECT_NE(rip.err.find("korvi-cli: track 2: Errors at 0:00.25"), std::string::npos) << rip.err;
  EXPECT_NE(rip.err.find("Track 2.wav: 1 place(s) could not be read exactly, at 0:00.25 to 0:00.27"),
            std::string::npos)
      << rip.err;
  const std::string log = fixtures::FileText(OnlyFile(m_dir / "secure", ".log"));
  EXPECT_NE(log.find("  Read quality    Errors at 0:00.25\n"), std::string::npos) << log;
  EXPECT_TRUE(HoldsTrack(m_dir / "secure" / "Track 1.wav", 1));
  EXPECT_TRUE(HoldsTrack(m_dir / "secure" / "Track 3.wav", 3));
}

}  // namespace
}  // namespace korvi
