// The log of a rip that was stopped after a track failed, and where the log and the cue sheet
// go: named after the album (or the disc id), made safe, and numbered rather than overwriting.

#include "report/rip_log.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "fixtures/temp_dir.h"
#include "report/cue_sheet_writer.h"

namespace korvi {
namespace {

std::string Contents(const std::string& path) {
  std::ifstream in(path);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

RipReport StoppedRip() {
  RipReport report;
  report.program = "Korvi CD Ripper 2.2";
  report.date = 1714572202;  // 2024-05-01 14:03:22 UTC
  report.drive = "/dev/sr0";
  report.readMode = "Secure";
  report.readOffset = 6;
  report.albumArtist = "AC/DC";
  report.albumTitle = "Back\tIn Black";
  report.discId = "7b0b5e0a";
  report.toc = {
      {1, 0, 15640, true}, {2, 15640, 13187, true}, {3, 28827, 16652, true}, {4, 45479, 9000, false}};
  ReportTrack first;
  first.number = 1;
  first.title = "Hells Bells";
  first.fileName = "Hells Bells.wav";
  first.peakPercent = 98.26;
  first.testCrc = 0x0a1b2c3d;
  first.copyCrc = 0x0a1b2c3d;
  first.accurateRip = "Accurate (v2, confidence 12)";
  first.quality = "OK";
  ReportTrack second = first;
  second.number = 2;
  second.title = "Shoot to Thrill";
  second.fileName = "Shoot to Thrill.wav";
  second.pregap = 152;
  second.copyCrc = 0xdeadbeef;
  second.accurateRip = "Not accurate";
  second.quality = "Errors at 3:12.40";
  ReportTrack third = first;
  third.number = 3;
  third.fileName = "What Do You Do for Money Honey.wav";
  third.testCrc.reset();
  third.copyCrc.reset();
  third.accurateRip.clear();
  third.failure = "cannot write: No space left on device";
  report.tracks = {first, second, third};
  report.stopped = true;
  return report;
}

TEST(RipLogTest, AStoppedRipWithAFailedTrackSaysWhatFailed) {
  setenv("TZ", "UTC", 1);
  tzset();
  const RipReport report = StoppedRip();
  EXPECT_EQ(RipLogSummary(report),
            "1 of 3 tracks accurately ripped\n"
            "  Track 2: Not accurate; read quality: Errors at 3:12.40\n"
            "  Track 3: failed: cannot write: No space left on device\n"
            "The rip was stopped\n");

  const std::string log = RipLogText(report);
  for (const char* line : {
           "Korvi CD Ripper 2.2 rip log\n",
           "\nDate              2024-05-01 14:03:22\n",
           "\nRead mode         Secure\n",
           "\nRead offset       +6 samples\n",
           "\nAlbum title       Back In Black\n",
           "\n      2 |   3:28.40 |   2:55.62 |        15640 |      28826\n",
           "\n      4 |  10:06.29 |   2:00.00 |        45479 |      54478  (data)\n",
           "\n  Pre-gap         0:02.02\n",
           "\n  Peak level      98.3 %\n",
           "\n  Test CRC        0A1B2C3D\n",
           "\n  Copy CRC        DEADBEEF (differs from the test)\n",
           "\n  AccurateRip     Accurate (v2, confidence 12)\n",
           "\n  Read quality    Errors at 3:12.40\n",
           "\n  Failed          cannot write: No space left on device\n",
       })
    EXPECT_NE(log.find(line), std::string::npos) << "missing: " << line << "\nin:\n" << log;
  EXPECT_EQ(log.substr(log.size() - RipLogSummary(report).size()), RipLogSummary(report));

  RipReport accurate = report;
  accurate.tracks.resize(1);
  accurate.stopped = false;
  EXPECT_EQ(RipLogSummary(accurate), "All tracks accurately ripped\n");
}

TEST(RipLogTest, NamesAreSafeFallBackToTheDiscIdAndNeverReplaceAFile) {
  fixtures::TempDir dir;
  const std::string folder = dir.path().string();
  RipReport report = StoppedRip();
  { std::ofstream(dir / "AC_DC - Back_In Black.log") << "an earlier rip"; }

  std::string error;
  const std::optional<std::string> log = WriteRipLog(report, folder, &error);
  ASSERT_TRUE(log) << error;
  EXPECT_EQ(*log, folder + "/AC_DC - Back_In Black (2).log");
  EXPECT_EQ(Contents(*log), RipLogText(report));
  EXPECT_EQ(Contents(folder + "/AC_DC - Back_In Black.log"), "an earlier rip");
  const std::optional<std::string> third = WriteRipLog(report, folder + "/", &error);
  EXPECT_EQ(third, folder + "/AC_DC - Back_In Black (3).log");
  const std::optional<std::string> cue = WriteCueSheet(report, folder, &error);
  EXPECT_EQ(cue, folder + "/AC_DC - Back_In Black.cue");
  EXPECT_EQ(Contents(*cue), CueSheetText(report));

  report.albumTitle = " . ";
  report.albumArtist = "Somebody";
  EXPECT_EQ(WriteRipLog(report, folder, &error), folder + "/7b0b5e0a.log");
  report.albumTitle = ".hidden";
  report.albumArtist.clear();
  EXPECT_EQ(WriteRipLog(report, folder, &error), folder + "/_hidden.log");

  EXPECT_FALSE(WriteRipLog(report, folder + "/missing", &error));
  EXPECT_NE(error.find(folder + "/missing/_hidden.log"), std::string::npos) << error;
}

}  // namespace
}  // namespace korvi
