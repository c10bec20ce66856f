// korvi-cli rip --mode secure on an image whose reads go wrong as a faulty drive's do (the image is
// read through a preloaded library that misreads): the files come out exact where paranoia can
// put the reads right, the rest is named with its place, and a clean image reads the same in both
// modes. A bad first sector costs that sector alone, a drive's cache cannot make a misread pass,
// and a read offset reaches the audio before track 1.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <fstream>
#include <iterator>

#include "disc/cdrom_toc.h"
#include "fixtures/child_process.h"
#include "fixtures/disc_image_writer.h"
#include "fixtures/temp_dir.h"
#include "fixtures/time_scale.h"

namespace korvi {
namespace {

using namespace std::chrono_literals;

constexpr int32_t kTrackSectors = 1500;

class KorviCliSecure : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fixtures::WriteCueBinImage(m_dir / "disc.cue", fixtures::AllAudioLayout(3, kTrackSectors, 9),
                                           &m_image, nullptr));
  }

  fixtures::ChildResult Rip(const std::string& folder, const std::string& mode, const std::string& faults,
                            const std::vector<std::string>& more = {}) {
    std::filesystem::create_directories(m_dir / folder);
    fixtures::ChildOptions options;
    options.args = {
        KORVI_CLI_PATH, "rip", m_image.cue.string(), "--format", "wav", "--out", (m_dir / folder).string(),
        "--mode",       mode};
    options.args.insert(options.args.end(), more.begin(), more.end());
    if (!faults.empty()) {
      options.env = {"LD_PRELOAD=" KORVI_MISREAD_PATH, "MISREAD_FAULTS=" + faults,
                     // The sanitizers' runtime cannot come first when a library is preloaded.
                     "ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0"};
    }
    fixtures::ChildProcess child;
    EXPECT_TRUE(child.Start(options));
    return child.Finish(std::chrono::milliseconds(fixtures::ScaledMs(120000)));
  }

  std::vector<char> Samples(const std::string& folder, int track) const {
    std::ifstream in(m_dir / folder / ("Track " + std::to_string(track) + ".wav"), std::ios::binary);
    std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    return bytes.size() < 44 ? std::vector<char>() : std::vector<char>(bytes.begin() + 44, bytes.end());
  }

  std::vector<char> DiscSamples(int track) const {
    const int32_t end =
        size_t(track) < m_image.starts.size() ? m_image.starts[size_t(track)] : m_image.leadOut;
    const std::vector<uint8_t> bytes =
        fixtures::ReadBinSectors(m_image.bin, m_image.starts[size_t(track - 1)], end - 1);
    return {bytes.begin(), bytes.end()};
  }

  fixtures::TempDir m_dir;
  fixtures::WrittenImage m_image;
};

TEST_F(KorviCliSecure, ExactFilesWhereTheReadsCanBePutRightAndThePlaceOfTheRest) {
  // Track 1 jitters, track 2 reads wrong the first time, track 3 has a spot at 0:08.25 that never
  // reads the same twice.
  const std::string faults = "jitter=200-600/250;flips=1700-1720/1;bad=3625-3625";
  const fixtures::ChildResult secure = Rip("secure", "secure", faults);
  ASSERT_TRUE(secure.exited) << secure.err;
  EXPECT_EQ(secure.status, 1) << secure.err;
  EXPECT_EQ(Samples("secure", 1), DiscSamples(1));
  EXPECT_EQ(Samples("secure", 2), DiscSamples(2));
  EXPECT_NE(secure.err.find("track 1: Repaired"), std::string::npos) << secure.err;
  EXPECT_NE(secure.err.find("track 2: Repaired"), std::string::npos) << secure.err;
  EXPECT_NE(secure.err.find("track 3: Errors at 0:08.2"), std::string::npos) << secure.err;
  EXPECT_NE(secure.err.find("Track 3.wav: 1 place(s) could not be read exactly, at 0:08.25\n"),
            std::string::npos)
      << secure.err;
  EXPECT_EQ(secure.out.find("Track 3.wav"), std::string::npos) << secure.out;

  // The same faults read once: the files are wrong and nothing says so.
  const fixtures::ChildResult burst = Rip("burst", "burst", faults);
  ASSERT_TRUE(burst.exited) << burst.err;
  EXPECT_EQ(burst.status, 0) << burst.err;
  EXPECT_NE(Samples("burst", 1), DiscSamples(1));
  EXPECT_NE(Samples("burst", 2), DiscSamples(2));
}

TEST_F(KorviCliSecure, ACleanImageReadsTheSameInBothModes) {
  const fixtures::ChildResult secure = Rip("secure", "secure", "");
  const fixtures::ChildResult burst = Rip("burst", "burst", "");
  ASSERT_EQ(secure.status, 0) << secure.err;
  ASSERT_EQ(burst.status, 0) << burst.err;
  for (int track = 1; track <= 3; ++track) {
    EXPECT_EQ(Samples("secure", track), DiscSamples(track)) << track;
    EXPECT_EQ(Samples("burst", track), Samples("secure", track)) << track;
    EXPECT_NE(secure.err.find("track " + std::to_string(track) + ": OK"), std::string::npos) << secure.err;
  }

  // An enhanced CD: paranoia reads the audio and stops where the data track's pregap begins.
  fixtures::ImageLayout mixed;
  mixed.tracks = {{false, 900, 0, {}}, {false, 700, 40, {}}, {true, 500, 150, {}}};
  ASSERT_TRUE(fixtures::WriteCueBinImage(m_dir / "mixed.cue", mixed, &m_image, nullptr));
  const fixtures::ChildResult mixedSecure = Rip("mixed-secure", "secure", "");
  const fixtures::ChildResult mixedBurst = Rip("mixed-burst", "burst", "");
  ASSERT_EQ(mixedSecure.status, 0) << mixedSecure.err;
  ASSERT_EQ(mixedBurst.status, 0) << mixedBurst.err;
  for (int track = 1; track <= 2; ++track) {
    EXPECT_EQ(Samples("mixed-secure", track), Samples("mixed-burst", track)) << track;
    EXPECT_GT(Samples("mixed-secure", track).size(), 600u * 2352) << track;
  }
}

TEST_F(KorviCliSecure, AnUnreadableFirstSectorCostsThatSectorAlone) {
  // Sector 0 fails every read: silence there, named with its place, the rest exact.
  const fixtures::ChildResult failing = Rip("failing", "secure", "unreadable=0-0", {"--no-verify"});
  ASSERT_TRUE(failing.exited) << failing.err;
  EXPECT_EQ(failing.status, 1) << failing.err;
  std::vector<char> expected = DiscSamples(1);
  std::fill_n(expected.begin(), kRawSectorBytes, 0);
  EXPECT_EQ(Samples("failing", 1), expected);
  EXPECT_NE(failing.err.find("Track 1.wav: 1 place(s) could not be read exactly, at 0:00.00\n"),
            std::string::npos)
      << failing.err;

  // Track 2 alone, whose first sector never reads the same twice: reading starts on it. It costs
  // that sector, is named, and the program ends.
  const fixtures::ChildResult noisy =
      Rip("noisy", "secure", "bad=1500-1500", {"--tracks", "2", "--no-verify"});
  ASSERT_TRUE(noisy.exited) << noisy.err;
  EXPECT_EQ(noisy.status, 1) << noisy.err;
  // Whatever its first sector holds, the rest is the disc's.
  std::vector<char> noisySamples = Samples("noisy", 2);
  expected = DiscSamples(2);
  std::copy_n(expected.begin(), std::min<size_t>(noisySamples.size(), kRawSectorBytes), noisySamples.begin());
  EXPECT_EQ(noisySamples, expected);
  EXPECT_NE(noisy.err.find("Track 2.wav: 1 place(s) could not be read exactly, at 0:00.00\n"),
            std::string::npos)
      << noisy.err;
}

TEST_F(KorviCliSecure, AMisreadThatTheDrivesCacheRepeatsDoesNotPass) {
  // Sectors 100-110 read wrong the first time, and the drive's cache repeats that until it reads
  // far away: paranoia's second look must come from the disc.
  const fixtures::ChildResult secure = Rip("secure", "secure", "cache=100-110/1", {"--no-verify"});
  ASSERT_TRUE(secure.exited) << secure.err;
  EXPECT_EQ(secure.status, 0) << secure.err;
  EXPECT_EQ(Samples("secure", 1), DiscSamples(1));

  // Test and copy, the copy of track 3 misread and kept by the cache: the third read, after a far
  // read, agrees with the test read and is what the file holds.
  const fixtures::ChildResult copy =
      Rip("copy", "burst", "cache=3100-3110/2", {"--test-and-copy", "--no-verify"});
  ASSERT_TRUE(copy.exited) << copy.err;
  EXPECT_EQ(copy.status, 0) << copy.err;
  EXPECT_EQ(Samples("copy", 3), DiscSamples(3));
  EXPECT_NE(copy.err.find("track 3: Repaired ("), std::string::npos) << copy.err;
}

TEST_F(KorviCliSecure, ANegativeReadOffsetReadsTheAudioBeforeTrackOne) {
  // Four seconds of audio before track 1, and a drive whose offset needs a correction of -667:
  // track 1's first samples lie in them, where the drive reads as well as anywhere.
  fixtures::ImageLayout layout = fixtures::AllAudioLayout(2, kTrackSectors, 4);
  layout.tracks[0].pregap = 300;
  layout.audiblePregaps = true;
  ASSERT_TRUE(fixtures::WriteCueBinImage(m_dir / "hidden.cue", layout, &m_image, nullptr));
  for (const char* mode : {"burst", "secure"}) {
    // The tracks alone: the hidden track's first samples do lie before sector 0.
    const fixtures::ChildResult rip =
        Rip(mode, mode, "offset=-667", {"--offset", "-667", "--no-verify", "--tracks", "1-2"});
    ASSERT_TRUE(rip.exited) << rip.err;
    EXPECT_EQ(rip.status, 0) << rip.err;
    EXPECT_EQ(Samples(mode, 1), DiscSamples(1)) << mode;
    EXPECT_EQ(rip.err.find("beyond the drive's reach"), std::string::npos) << rip.err;
  }
}

}  // namespace
}  // namespace korvi
