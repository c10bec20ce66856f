// korvi-cli rip --mode secure on an image whose reads go wrong as a faulty drive's do (the image is
// read through a preloaded library that misreads): the files come out exact where paranoia can
// put the reads right, the rest is named with its place, and a clean image reads the same in both
// modes.

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <iterator>

#include "fixtures/child_process.h"
#include "fixtures/disc_image_writer.h"
#include "fixtures/temp_dir.h"

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

  fixtures::ChildResult Rip(const std::string& folder, const std::string& mode, const std::string& faults) {
    std::filesystem::create_directories(m_dir / folder);
    fixtures::ChildOptions options;
    options.args = {
        KORVI_CLI_PATH, "rip", m_image.cue.string(), "--format", "wav", "--out", (m_dir / folder).string(),
        "--mode",       mode};
    if (!faults.empty()) {
      options.env = {"LD_PRELOAD=" KORVI_MISREAD_PATH, "MISREAD_FAULTS=" + faults,
                     // The sanitizers' runtime cannot come first when a library is preloaded.
                     "ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0"};
    }
    fixtures::ChildProcess child;
    EXPECT_TRUE(child.Start(options));
    return child.Finish(120s);
  }

  std::vector<char> Samples(const std::string& folder, int track) const {
    std::ifstream in(m_dir / folder / ("Track " + std::to_string(track) + ".wav"), std::ios::binary);
    std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    return bytes.size() < 44 ? std::vector<char>() : std::vector<char>(bytes.begin() + 44, bytes.end());
  }

  std::vector<char> DiscSamples(int track) const {
    const std::vector<uint8_t> bytes =
        fixtures::ReadBinSectors(m_image.bin, (track - 1) * kTrackSectors, track * kTrackSectors - 1);
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

}  // namespace
}  // namespace korvi
