// A disc image whose bin holds less than its cue sheet says, cut midway through track 2 of 3:
// before the image is opened (the table of contents cannot be had), and while it is open (the
// sectors past the cut cannot be read). Nothing crashes, nothing is reported as a success that was
// not one, and the track wholly inside the bin is ripped bit-exact.

#include <gtest/gtest.h>

#include "disc/cd_device.h"
#include "faults/fault_support.h"
#include "fixtures/time_scale.h"
#include "messages/messenger.h"
#include "rip/rip_job.h"

namespace korvi::faults {
namespace {

using namespace std::chrono_literals;

// Half of track 2's 600 sectors, and 1000 bytes of the next: a cut inside a sector.
constexpr int32_t kWholeSectorsKept = 150 + 300;
constexpr uintmax_t kBinBytesKept = uintmax_t(kWholeSectorsKept) * kSectorBytes + 1000;

TEST(ShortImage, TocAndRipRefuseAnImageCutBeforeItsLastTrack) {
  RipScene scene;
  ASSERT_TRUE(scene.Ready());
  std::filesystem::resize_file(scene.Image().bin, kBinBytesKept);
  const std::string cue = scene.Image().cue.string();

  ChildProcess toc;
  ASSERT_TRUE(toc.Start(scene.Cli({"toc", cue})));
  const ChildResult listed = toc.Finish(fixtures::Scaled(60s));
  ASSERT_TRUE(listed.exited) << "killed by signal " << listed.status;
  EXPECT_EQ(listed.status, 1);
  EXPECT_EQ(listed.out, "");
  // The bin ends half-way through track 2, before track 3: the last sector it holds is named.
  const std::string cutShort = "korvi-cli: cannot open " + cue +
                               ": the data file \"disc.bin\" ends with sector 449 (at 00:06:00), before "
                               "INDEX 01 of track 03 at 00:10:00: the image is cut short\n";
  EXPECT_EQ(listed.err, cutShort);

  ChildProcess rip;
  ASSERT_TRUE(rip.Start(scene.Rip(kWav, scene.Out())));
  const ChildResult ripped = rip.Finish(fixtures::Scaled(60s));
  ASSERT_TRUE(ripped.exited) << "killed by signal " << ripped.status;
  EXPECT_EQ(ripped.status, 1);
  EXPECT_EQ(ripped.out, "");
  EXPECT_EQ(ripped.err, cutShort);
  EXPECT_TRUE(std::filesystem::is_empty(scene.Out()));
}

class SilentMessenger : public IFrameMessenger {
 public:
  intptr_t Send(unsigned, uintptr_t, intptr_t) override { return 0; }
  void Post(unsigned, uintptr_t, intptr_t) override {}
};

TEST(ShortImage, ARipOfAnImageCutWhileOpenReportsTheSectorsPastTheCut) {
  RipScene scene;
  ASSERT_TRUE(scene.Ready());
  std::unique_ptr<CdDevice> disc = CdDevice::Open(scene.Image().cue.string());
  ASSERT_TRUE(disc);
  DiscToc toc;
  ASSERT_TRUE(disc->ReadToc(toc));
  std::filesystem::resize_file(scene.Image().bin, kBinBytesKept);

  SilentMessenger messenger;
  RipJob job(messenger, *disc);
  std::vector<RipTrack> tracks;
  for (int n = 1; n <= 3; ++n) tracks.push_back({CTrackInfo(scene.Begin(n), scene.End(n), ""), n});
  RipSettings settings;
  settings.folder = scene.Out().string();
  settings.replacePrompt = false;
  ASSERT_TRUE(job.Start(tracks, settings));
  job.Join();

  const auto path = [&](int track) { return scene.FileName(scene.Out(), track, kWav); };
  EXPECT_EQ(job.WrittenFiles(), std::vector<std::string>{path(1)});
  EXPECT_EQ(CheckRippedFile(path(1), kWav, scene.TrackBytes(1)), "");

  ASSERT_EQ(job.Failures().size(), 2u);
  EXPECT_EQ(job.Failures()[0].path, path(2));
  EXPECT_EQ(job.Failures()[0].cause, "300 sector(s) could not be read, the first at sector " +
                                         std::to_string(kWholeSectorsKept) + "; they hold silence");
  EXPECT_EQ(job.Failures()[1].path, path(3));
  EXPECT_EQ(job.Failures()[1].cause, "150 sector(s) could not be read, the first at sector " +
                                         std::to_string(scene.Begin(3)) + "; they hold silence");

  // Track 2: its first 300 sectors as the disc has them, then silence, the part-sector included.
  const std::optional<std::string> pcm = DecodePcm(path(2));
  ASSERT_TRUE(pcm);
  ASSERT_EQ(pcm->size(), scene.TrackBytes(2).size());
  const size_t kept = 300 * kSectorBytes;
  EXPECT_TRUE(pcm->compare(0, kept, scene.TrackBytes(2), 0, kept) == 0);
  EXPECT_EQ(pcm->find_first_not_of('\0', kept), std::string::npos);
}

// Secure reading of the same image: paranoia cannot read past the cut either, and what it fills
// in there is named as not read exactly, by its place in the track.
TEST(ShortImage, ASecureRipOfAnImageCutWhileOpenNamesThePlacesPastTheCut) {
  RipScene scene;
  ASSERT_TRUE(scene.Ready());
  std::unique_ptr<CdDevice> disc = CdDevice::Open(scene.Image().cue.string());
  ASSERT_TRUE(disc);
  DiscToc toc;
  ASSERT_TRUE(disc->ReadToc(toc));
  std::filesystem::resize_file(scene.Image().bin, kBinBytesKept);

  SilentMessenger messenger;
  RipJob job(messenger, *disc);
  std::vector<RipTrack> tracks;
  for (int n = 1; n <= 3; ++n) tracks.push_back({CTrackInfo(scene.Begin(n), scene.End(n), ""), n});
  RipSettings settings;
  settings.folder = scene.Out().string();
  settings.replacePrompt = false;
  settings.readMode = ReadMode::kSecure;
  settings.disc = toc;
  ASSERT_TRUE(job.Start(tracks, settings));
  job.Join();

  const auto path = [&](int track) { return scene.FileName(scene.Out(), track, kWav); };
  EXPECT_EQ(job.WrittenFiles(), std::vector<std::string>{path(1)});
  EXPECT_EQ(CheckRippedFile(path(1), kWav, scene.TrackBytes(1)), "");
  const auto at = [&](int track, int32_t sector) {
    return TrackPositionText(int64_t(sector - scene.Begin(track)) * 588);
  };
  ASSERT_EQ(job.Failures().size(), 2u);
  EXPECT_EQ(job.Failures()[0].cause, "1 place(s) could not be read exactly, at " + at(2, kWholeSectorsKept) +
                                         " to " + at(2, scene.End(2)));
  EXPECT_EQ(job.Failures()[1].cause, "1 place(s) could not be read exactly, at " + at(3, scene.Begin(3)) +
                                         " to " + at(3, scene.End(3)));
  EXPECT_EQ(job.Results()[1].StatusText(scene.Begin(2)), "Errors at " + at(2, kWholeSectorsKept));
}

}  // namespace
}  // namespace korvi::faults
