// Secure reading, read offsets and test and copy, through a drive that misreads: the checks must
// put right what can be put right, name what cannot, and the burst reader shows the faults are real.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "disc/cd_device.h"
#include "fixtures/disc_image_writer.h"
#include "fixtures/faulty_drive.h"
#include "fixtures/temp_dir.h"
#include "messages/messenger.h"
#include "rip/rip_job.h"

namespace korvi {
namespace {

class QuietMessenger : public IFrameMessenger {
 public:
  intptr_t Send(unsigned, uintptr_t, intptr_t) override { return 0; }
  void Post(unsigned, uintptr_t, intptr_t) override {}
};

constexpr int32_t kTrackSectors = 1500;  // 20 s
constexpr size_t kWavHeader = 44;

class SecureRipTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fixtures::WriteCueBinImage(m_dir / "disc.cue", fixtures::AllAudioLayout(3, kTrackSectors, 5),
                                           &m_image, nullptr));
    m_device = CdDevice::Open(m_image.cue.string());
    ASSERT_TRUE(m_device);
    ASSERT_TRUE(m_device->ReadToc(m_disc));
    m_drive = std::make_unique<fixtures::FaultyDrive>(*m_device, m_image.leadOut);
  }

  std::vector<RipTrack> Tracks() const {
    std::vector<RipTrack> tracks;
    for (int n = 1; n <= 3; ++n) {
      const TrackSpan span = TrackSpanOf(m_disc, n);
      tracks.push_back({CTrackInfo(span.begin, span.end, ""), n});
    }
    return tracks;
  }

  // Rips every track to WAV into its own folder; the job is returned for its results.
  std::unique_ptr<RipJob> Rip(const std::string& folder, ReadMode mode, int32_t offset = 0,
                              bool testAndCopy = false) {
    RipSettings settings;
    settings.folder = (m_dir / folder).string();
    std::filesystem::create_directories(settings.folder);
    settings.replacePrompt = false;
    settings.readMode = mode;
    settings.readOffset = offset;
    settings.testAndCopy = testAndCopy;
    settings.disc = m_disc;
    // One track after the other: with several encoders the reader moves between tracks as they
    // have room, and where paranoia's reads fall (and so which of them meets a drive's first,
    // wrong read) would follow the threads' timing.
    settings.encoderJobs = 1;
    auto job = std::make_unique<RipJob>(m_messenger, *m_drive);
    EXPECT_TRUE(job->Start(Tracks(), settings)) << job->StartError();
    job->Join();
    return job;
  }

  std::vector<uint8_t> Samples(const std::string& folder, int track) const {
    std::ifstream in(m_dir / folder / ("Track " + std::to_string(track) + ".wav"), std::ios::binary);
    std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (bytes.size() < kWavHeader) return {};
    return {bytes.begin() + kWavHeader, bytes.end()};
  }

  std::vector<uint8_t> DiscSamples(int track) const {
    const TrackSpan span = TrackSpanOf(m_disc, track);
    return fixtures::ReadBinSectors(m_image.bin, span.begin, span.end);
  }

  fixtures::TempDir m_dir;
  fixtures::WrittenImage m_image;
  std::unique_ptr<CdDevice> m_device;
  DiscToc m_disc;
  std::unique_ptr<fixtures::FaultyDrive> m_drive;
  QuietMessenger m_messenger;
};

TEST_F(SecureRipTest, SecureReadingPutsRightJitterAndFlipsAndNamesTheSpotThatNeverReadsTheSame) {
  const auto misread = [](fixtures::FaultyDrive& drive) {
    drive.AddJitter(300, 700, 300);                                      // track 1
    drive.AddFlips(kTrackSectors + 300, kTrackSectors + 330, 1);         // track 2, first reads only
    drive.AddBadSpot(2 * kTrackSectors + 900, 2 * kTrackSectors + 901);  // track 3 at 0:12.00
  };
  misread(*m_drive);

  const auto secure = Rip("secure", ReadMode::kSecure);
  EXPECT_EQ(Samples("secure", 1), DiscSamples(1));
  EXPECT_EQ(Samples("secure", 2), DiscSamples(2));
  const std::vector<TrackResult>& results = secure->Results();
  ASSERT_EQ(results.size(), 3u);
  EXPECT_EQ(results[0].StatusText(0), "Repaired");
  EXPECT_EQ(results[1].StatusText(kTrackSectors), "Repaired");
  EXPECT_GT(results[0].quality.jitterFixes, 0);
  EXPECT_GT(results[1].quality.sectorsRead, kTrackSectors);
  EXPECT_EQ(results[2].StatusText(2 * kTrackSectors), "Errors at 0:12.00");
  // Track 3 is named, never passed as good; the others are not.
  ASSERT_EQ(secure->Failures().size(), 1u);
  EXPECT_NE(secure->Failures()[0].path.find("Track 3.wav"), std::string::npos);
  EXPECT_EQ(secure->Failures()[0].cause, "1 place(s) could not be read exactly, at 0:12.00");

  // Read once, such a drive gives other audio: the faults are there to be caught.
  m_drive = std::make_unique<fixtures::FaultyDrive>(*m_device, m_image.leadOut);
  misread(*m_drive);
  const auto burst = Rip("burst", ReadMode::kBurst);
  EXPECT_NE(Samples("burst", 1), DiscSamples(1));
  EXPECT_NE(Samples("burst", 2), DiscSamples(2));
  EXPECT_TRUE(burst->Failures().empty());
}

TEST_F(SecureRipTest, TestAndCopyReadsAgainWhereTheTwoReadsDifferAndNamesATrackWithNoTwoAlike) {
  // The copy's read of track 2 goes wrong, the third is right; track 3 is wrong on both later reads.
  m_drive->AddFlips(kTrackSectors + 400, kTrackSectors + 410, 2);
  m_drive->AddFlips(2 * kTrackSectors + 50, 2 * kTrackSectors + 50, 2);
  m_drive->AddFlips(2 * kTrackSectors + 60, 2 * kTrackSectors + 60, 3);

  const auto job = Rip("copy", ReadMode::kBurst, 0, true);
  const std::vector<TrackResult>& results = job->Results();
  ASSERT_EQ(results.size(), 3u);
  ASSERT_TRUE(results[0].testCrc && results[0].copyCrc);
  EXPECT_EQ(*results[0].testCrc, *results[0].copyCrc);
  EXPECT_FALSE(results[0].thirdCrc);
  EXPECT_EQ(results[0].StatusText(0), "OK");

  ASSERT_TRUE(results[1].testCrc && results[1].copyCrc && results[1].thirdCrc);
  EXPECT_NE(*results[1].testCrc, *results[1].copyCrc);
  EXPECT_EQ(*results[1].thirdCrc, *results[1].testCrc);
  EXPECT_EQ(results[1].StatusText(kTrackSectors), "Repaired");
  EXPECT_EQ(Samples("copy", 2), DiscSamples(2));

  EXPECT_TRUE(results[2].readsDisagree);
  EXPECT_EQ(results[2].StatusText(2 * kTrackSectors), "Reads differ");
  ASSERT_EQ(job->Failures().size(), 1u);
  EXPECT_NE(job->Failures()[0].cause.find("no two reads agree"), std::string::npos)
      << job->Failures()[0].cause;
  // Before each copy and each third read the drive was told to forget what it read.
  EXPECT_EQ(m_drive->CacheFlushes(), 5);
  EXPECT_EQ(Samples("copy", 1), DiscSamples(1));
}

// Paranoia reads well ahead of what it delivers and reports its fixes as it reads: each counts
// for the track that holds it.
TEST(SecureRipShortTracks, WhatParanoiaPutsRightCountsForTheTrackThatHoldsIt) {
  fixtures::TempDir dir;
  fixtures::WrittenImage image;
  ASSERT_TRUE(
      fixtures::WriteCueBinImage(dir / "disc.cue", fixtures::AllAudioLayout(4, 300, 3), &image, nullptr));
  std::unique_ptr<CdDevice> device = CdDevice::Open(image.cue.string());
  ASSERT_TRUE(device);
  DiscToc disc;
  ASSERT_TRUE(device->ReadToc(disc));
  fixtures::FaultyDrive drive(*device, image.leadOut);
  drive.AddFlips(340, 420, 1);
  std::vector<RipTrack> tracks;
  for (int n = 1; n <= 4; ++n) tracks.push_back({CTrackInfo(300 * (n - 1), 300 * n - 1, ""), n});
  RipSettings settings;
  settings.folder = dir.path().string();
  settings.readMode = ReadMode::kSecure;
  settings.disc = disc;
  QuietMessenger messenger;
  RipJob job(messenger, drive);
  ASSERT_TRUE(job.Start(tracks, settings)) << job.StartError();
  job.Join();
  const std::vector<std::string> expected = {"OK", "Repaired", "OK", "OK"};
  for (size_t i = 0; i < 4; ++i)
    EXPECT_EQ(job.Results()[i].StatusText(int32_t(300 * i)), expected[i]) << "track " << i + 1;
}

class ReadOffsetTest : public SecureRipTest,
                       public ::testing::WithParamInterface<std::tuple<int32_t, ReadMode>> {};

TEST_P(ReadOffsetTest, TheCorrectedFilesHoldTheDiscsSamplesAndTheEdgesBeyondTheDriveAreSilence) {
  const auto [offset, mode] = GetParam();
  m_drive->SetReadOffset(offset);
  const auto job = Rip("offset", mode, offset);
  EXPECT_TRUE(job->Failures().empty());
  for (int track = 1; track <= 3; ++track) {
    std::vector<uint8_t> expected = DiscSamples(track);
    int64_t silenced = 0;
    // The drive cannot read before sector 0 or past the lead-out; those samples become silence.
    if (offset < 0 && track == 1) silenced = -offset;
    if (offset > 0 && track == 3) silenced = offset;
    if (offset < 0 && track == 1) std::fill(expected.begin(), expected.begin() + silenced * 4, 0);
    if (offset > 0 && track == 3) std::fill(expected.end() - silenced * 4, expected.end(), 0);
    EXPECT_EQ(Samples("offset", track), expected) << "track " << track;
    EXPECT_EQ(job->Results()[size_t(track - 1)].quality.outOfReach, silenced) << "track " << track;
  }
}

INSTANTIATE_TEST_SUITE_P(Drives, ReadOffsetTest,
                         ::testing::Combine(::testing::Values(667, -1200),
                                            ::testing::Values(ReadMode::kSecure, ReadMode::kBurst)));

}  // namespace
}  // namespace korvi
