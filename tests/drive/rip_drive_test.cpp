// korvi-cli rips through the emulated drive what only a drive does: a cache that answers a re-read
// with the bytes of the first read, C2 error pointers, a read speed and a tray.
//
// Before the rip defeated the cache, a drive with cache=1024 and a flaky sector gave test and copy
// two equal CRCs of the same wrong bytes ("OK"), and paranoia verified the cached wrong bytes.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>

#include "drive/drive_env.h"
#include "fixtures/child_process.h"
#include "fixtures/disc_image_writer.h"
#include "fixtures/temp_dir.h"
#include "fixtures/time_scale.h"
#include "rip/drive_reads.h"

namespace korvi {
namespace {

using namespace std::chrono_literals;

const std::string kDrive = "/dev/sr24";
// Sector 1000 lies in track 2 (sectors 975 to 1674), 0:00.25 in; the disc is larger than the cache
// by more than the track, so reads elsewhere can push it out. The latency lets timing find it.
const std::string kCachingDrive = ",cache=1024,flaky=1000,latency_ms=1";

class RipDrive : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fixtures::WriteCueBinImage(m_dir / "disc.cue", fixtures::ThreeTrackDisc(5), &m_image, nullptr));
    const fixtures::ChildResult image = Rip(m_image.cue.string(), "image", {"--mode", "burst"}, "");
    ASSERT_EQ(image.status, 0) << image.err;
  }

  fixtures::ChildResult Rip(const std::string& source, const std::string& folder, std::vector<std::string> more,
                            const std::string& behaviours) {
    std::filesystem::create_directories(m_dir / folder);
    fixtures::ChildOptions options;
    options.args = {KORVI_CLI_PATH, "rip", source, "--format", "wav", "--out", (m_dir / folder).string(), "--no-verify"};
    options.args.insert(options.args.end(), more.begin(), more.end());
    // The drive list is not found: its offset is not known, which is 0.
    options.env = fixtures::FakeDriveEnv(kDrive + "=" + m_image.cue.string() + behaviours, m_dir / "home");
    options.env.push_back("KORVI_FAKE_DRIVE_STATS=" + (m_dir / folder / "drive.stats").string());
    options.workDir = m_dir.path();
    return fixtures::RunChild(options, fixtures::Scaled(120s));
  }

  std::string Track2(const std::string& folder) const { return fixtures::FileText(m_dir / folder / "Track 2.wav"); }
  std::string Log(const std::string& folder) const {
    for (const auto& entry : std::filesystem::directory_iterator(m_dir / folder))
      if (entry.path().extension() == ".log") return fixtures::FileText(entry.path());
    return {};
  }
  std::string Stats(const std::string& folder) const { return fixtures::FileText(m_dir / folder / "drive.stats"); }

  fixtures::TempDir m_dir;
  fixtures::WrittenImage m_image;
};

// A track that is said to be OK (or repaired) holds the disc's bytes.
void ExpectNoWrongBytesPassed(const fixtures::ChildResult& rip, const std::string& got, const std::string& wanted,
                              const std::string& what) {
  ASSERT_TRUE(rip.exited) << what << ": " << rip.err;
  const bool passed = rip.err.find("track 2: OK") != std::string::npos ||
                      rip.err.find("track 2: Repaired") != std::string::npos || rip.status == 0;
  if (passed) {
    EXPECT_TRUE(got == wanted) << what << " passed track 2 with wrong bytes: " << rip.err;
  }
}

TEST_F(RipDrive, ACachingDriveWhoseFirstReadIsWrongNeverPassesWrongBytes) {
  const std::string wanted = Track2("image");
  ASSERT_GT(wanted.size(), 44u);

  // The drive honours FUA: every compared read reaches the disc.
  const fixtures::ChildResult copy = Rip(kDrive, "copy", {"--mode", "burst", "--test-and-copy"}, kCachingDrive);
  ExpectNoWrongBytesPassed(copy, Track2("copy"), wanted, "test and copy");
  EXPECT_EQ(copy.status, 1) << copy.err;
  EXPECT_NE(copy.err.find("track 2: Reads differ"), std::string::npos) << copy.err;
  EXPECT_NE(Log("copy").find("Cache             defeated by FUA reads\n"), std::string::npos) << Log("copy");

  // Paranoia sees reads that differ and puts the sector together from them.
  const fixtures::ChildResult secure = Rip(kDrive, "secure", {"--mode", "secure"}, kCachingDrive);
  ExpectNoWrongBytesPassed(secure, Track2("secure"), wanted, "secure");
  EXPECT_EQ(Track2("secure"), wanted) << secure.err;
  EXPECT_NE(Log("secure").find("Cache             defeated by FUA reads\n"), std::string::npos) << Log("secure");
  EXPECT_NE(Log("secure").find("C2 pointers       not supported by the drive\n"), std::string::npos);

  // Reads with C2 pointers cannot force unit access: the measured cache is read past instead, so
  // the copy reads the flaky sector anew, and its C2 bits mark it wherever it is read.
  const std::regex measured("Cache             (\\d+) sectors, defeated by reading elsewhere\n");
  for (const std::string mode : {"burst", "secure"}) {
    const std::string folder = "c2" + mode;
    const fixtures::ChildResult rip = Rip(kDrive, folder, {"--mode", mode, "--test-and-copy"}, kCachingDrive + ",c2");
    ExpectNoWrongBytesPassed(rip, Track2(folder), wanted, folder);
    EXPECT_EQ(rip.status, 1) << rip.err;
    const std::string log = Log(folder);
    std::smatch size;
    ASSERT_TRUE(std::regex_search(log, size, measured)) << log;
    EXPECT_GE(std::stoi(size[1]), 1024) << log;
    EXPECT_LE(std::stoi(size[1]), 1024 + 1024 / 8) << log;
    EXPECT_NE(log.find("C2 pointers       used\n"), std::string::npos) << log;
    EXPECT_NE(log.find("  C2 errors       1 sector(s): 1000\n"), std::string::npos) << log;
    EXPECT_NE(rip.err.find("track 2: Errors at 0:00.25"), std::string::npos) << rip.err;
    // Paranoia puts together the same bytes from every read; a burst copy is what the drive gave.
    if (std::string(mode) != "burst") continue;
    std::smatch crcs;
    const std::regex track2("track 2: [^\n]*test CRC ([0-9A-F]{8}), copy CRC ([0-9A-F]{8})");
    ASSERT_TRUE(std::regex_search(rip.err, crcs, track2)) << rip.err;
    EXPECT_NE(crcs[1], crcs[2]) << "the copy came from the cache: " << rip.err;
  }

  // A burst rip reports the sector that the C2 pointers mark; without them the drive cannot tell.
  const fixtures::ChildResult marked = Rip(kDrive, "burstc2", {"--mode", "burst"}, ",flaky=1000,c2");
  EXPECT_EQ(marked.status, 1) << marked.err;
  EXPECT_NE(marked.err.find("1 place(s) could not be read exactly, at 0:00.25"), std::string::npos) << marked.err;
  EXPECT_NE(Log("burstc2").find("  C2 errors       1 sector(s): 1000\n"), std::string::npos);
  const fixtures::ChildResult unmarked = Rip(kDrive, "burst", {"--mode", "burst"}, ",flaky=1000");
  EXPECT_EQ(unmarked.status, 0) << unmarked.err;
  EXPECT_EQ(Log("burst").find("C2 errors"), std::string::npos);
}

TEST_F(RipDrive, TheSpeedIsSetAndTheTrayOpensOnlyAfterARipWithoutFailure) {
  const fixtures::ChildResult ejected = Rip(kDrive, "ejected", {"--mode", "burst", "--tracks", "2", "--speed", "8", "--eject"}, "");
  ASSERT_EQ(ejected.status, 0) << ejected.err;
  EXPECT_NE(ejected.err.find("korvi-cli: the tray was opened"), std::string::npos) << ejected.err;
  // 8x in kB/s is 1411.2, asked for as 1412.
  EXPECT_NE(Stats("ejected").find(kDrive + " commands"), std::string::npos) << Stats("ejected");
  EXPECT_NE(Stats("ejected").find(" tray open speed 8.00"), std::string::npos) << Stats("ejected");
  EXPECT_NE(Log("ejected").find("Read speed        8x\n"), std::string::npos) << Log("ejected");
  EXPECT_EQ(Track2("ejected"), Track2("image"));

  const fixtures::ChildResult kept = Rip(kDrive, "kept", {"--mode", "burst", "--tracks", "2"}, ",speed=4");
  ASSERT_EQ(kept.status, 0) << kept.err;
  EXPECT_NE(Stats("kept").find(" tray closed speed 4\n"), std::string::npos) << Stats("kept");
  EXPECT_NE(Log("kept").find("Read speed        the drive's maximum\n"), std::string::npos);

  const fixtures::ChildResult failed = Rip(kDrive, "failed", {"--mode", "burst", "--eject"}, ",bad=1000");
  EXPECT_EQ(failed.status, 1) << failed.err;
  EXPECT_NE(Stats("failed").find(" tray closed "), std::string::npos) << Stats("failed");
  EXPECT_EQ(failed.err.find("tray"), std::string::npos) << failed.err;

  // An image has neither speed nor tray.
  const fixtures::ChildResult image = Rip(m_image.cue.string(), "imageeject", {"--mode", "burst", "--eject"}, "");
  EXPECT_EQ(image.status, 0) << image.err;
  EXPECT_EQ(Log("imageeject").find("Read speed"), std::string::npos);
}

TEST(CacheDefeatChoice, FuaOnlyWhereItGetsPastTheCacheAndNoC2ReadsAreNeeded) {
  DriveCache cache;
  cache.measured = cache.cachesAudio = true;
  cache.sectors = 1500;
  const DriveFua bypasses{true, true};
  const DriveFua cached{true, false};
  EXPECT_TRUE(ChooseCacheDefeat(cache, bypasses, false).fua);
  EXPECT_EQ(CacheDefeatText(ChooseCacheDefeat(cache, bypasses, false), cache), "defeated by FUA reads");
  for (const CacheDefeat defeat : {ChooseCacheDefeat(cache, cached, false), ChooseCacheDefeat(cache, bypasses, true),
                                   ChooseCacheDefeat(cache, DriveFua(), false)}) {
    EXPECT_FALSE(defeat.fua);
    EXPECT_EQ(defeat.cacheSectors, 1500);
    EXPECT_EQ(CacheDefeatText(defeat, cache), "1500 sectors, defeated by reading elsewhere");
  }
  cache.cachesAudio = false;
  EXPECT_EQ(CacheDefeatText(ChooseCacheDefeat(cache, DriveFua(), false), cache), "no cache found");
  EXPECT_EQ(ChooseCacheDefeat(cache, DriveFua(), false).cacheSectors, 0);
  // Nothing to get past: neither FUA reads nor reads elsewhere, which on a drive that lands off
  // after every seek would have two misplaced reads agree.
  EXPECT_FALSE(ChooseCacheDefeat(cache, bypasses, false).fua);
  EXPECT_TRUE(ChooseCacheDefeat(cache, bypasses, false).noCache);
}

}  // namespace
}  // namespace korvi
