// The disc ids and the database path: generated images and hand-built tables of contents against
// values worked out by hand, and two published discs against the ids the database files them under.

#include "verify/accuraterip_ids.h"

#include <gtest/gtest.h>

#include "disc/cd_device.h"
#include "fixtures/disc_image_writer.h"
#include "fixtures/temp_dir.h"

namespace korvi {
namespace {

using fixtures::ImageLayout;

struct Entry {
  int32_t sector;  // logical, without the lead-in
  bool data = false;
};

DiscToc TocOf(const std::vector<Entry>& tracks, int32_t leadOut,
              std::optional<int32_t> audioEnd = std::nullopt) {
  DiscToc disc;
  disc.toc.FirstTrack = 1;
  disc.toc.LastTrack = static_cast<uint8_t>(tracks.size());
  for (size_t i = 0; i <= tracks.size(); ++i) {
    TRACK_DATA& entry = disc.toc.TrackData[i];
    const bool leadOutEntry = i == tracks.size();
    entry.TrackNumber = leadOutEntry ? kLeadOutTrackNumber : static_cast<uint8_t>(i + 1);
    entry.ControlAdr = static_cast<uint8_t>(!leadOutEntry && tracks[i].data ? kControlDataTrack : 0);
    SetEntryAddress(entry, (leadOutEntry ? leadOut : tracks[i].sector) + kLeadInSectors);
  }
  disc.audioEnd = audioEnd;
  return disc;
}

class AccurateRipIdsTest : public ::testing::Test {
 protected:
  DiscToc ImageToc(const ImageLayout& layout) {
    fixtures::WrittenImage image;
    std::string error;
    EXPECT_TRUE(fixtures::WriteCueBinImage(m_dir / "disc.cue", layout, &image, &error)) << error;
    DiscToc disc;
    auto device = CdDevice::Open(image.cue.string(), &error);
    EXPECT_TRUE(device) << error;
    if (device) {
      EXPECT_TRUE(device->ReadToc(disc)) << device->lastError();
    }
    return disc;
  }

  fixtures::TempDir m_dir;
};

TEST_F(AccurateRipIdsTest, AllAudioImage) {
  ImageLayout layout;
  layout.tracks = {{false, 300, 0, {}}, {false, 450, 0, {}}, {false, 600, 0, {}}};
  const std::optional<AccurateRipIds> ids = AccurateRipIdsOf(ImageToc(layout));
  ASSERT_TRUE(ids);
  // Tracks begin at sectors 0, 300 and 750; the lead-out is at 1350.
  // id1 = 0 + 300 + 750 + 1350 = 2400 = 0x960
  // id2 = 1·1 (a track at sector 0 counts as 1) + 300·2 + 750·3 + 1350·4 = 1 + 600 + 2250 + 5400
  //     = 8251 = 0x203b
  // CDDB, with the 150-sector lead-in: starts at 150, 450 and 900 sectors = 2, 6 and 12 s, lead-out
  // 1500 = 20 s; digit sums 2 + 6 + (1 + 2) = 11 = 0x0b, length 20 − 2 = 18 = 0x12, 3 tracks.
  EXPECT_EQ(*ids, (AccurateRipIds{3, 0x960, 0x203b, 0x0b001203}));
  // The folders are id1's last hex digit first: 00000960 gives 0, 6, 9.
  EXPECT_EQ(AccurateRipPath(*ids), "/accuraterip/0/6/9/dBAR-003-00000960-0000203b-0b001203.bin");
}

// Two audio tracks, then a data track with a 150-sector pregap: an image keeps no session gap.
TEST_F(AccurateRipIdsTest, EnhancedCdImageCountsTheDataTrackWhereThePressedDiscHasIt) {
  ImageLayout layout;
  layout.tracks = {{false, 300, 0, {}}, {false, 450, 0, {}}, {true, 600, 150, {}}};
  const DiscToc image = ImageToc(layout);
  ASSERT_EQ(image.audioEnd, 750) << "the audio should end where the data track's pregap begins";
  const std::optional<AccurateRipIds> ids = AccurateRipIdsOf(image);
  ASSERT_TRUE(ids);
  // The image has the data track at 900 and the lead-out at 1500. On the pressed disc the data
  // session starts 11400 sectors after the audio's end: at 750 + 11400 = 12150, 11250 later, and
  // the lead-out with it at 1500 + 11250 = 12750.
  // Only the two audio tracks count, the data track only through the lead-out:
  // id1 = 0 + 300 + 12750 = 13050 = 0x32fa
  // id2 = 1·1 + 300·2 + 12750·3 = 1 + 600 + 38250 = 38851 = 0x97c3
  // CDDB counts the data track: 150, 450 and 12300 sectors = 2, 6 and 164 s, lead-out 12900 = 172 s;
  // digit sums 2 + 6 + (1 + 6 + 4) = 19 = 0x13, length 172 − 2 = 170 = 0xaa, 3 tracks.
  const AccurateRipIds expected{2, 0x32fa, 0x97c3, 0x1300aa03};
  EXPECT_EQ(*ids, expected);
  EXPECT_EQ(AccurateRipPath(*ids), "/accuraterip/a/f/2/dBAR-002-000032fa-000097c3-1300aa03.bin");

  // A drive reads the same disc with the session gap in place, and the ids agree.
  const DiscToc drive = TocOf({{0}, {300}, {12150, true}}, 12750, 12150 - kSessionGapSectors);
  EXPECT_EQ(AccurateRipIdsOf(drive), expected);
}

// A published enhanced CD of 10 audio tracks and a data track, as a drive reads it, with the ids
// the database files it under: 010-00164419-00b9f6e2-9e11600b.
TEST(AccurateRipIdsPublishedTest, EnhancedCdFromADrive) {
  const DiscToc disc = TocOf({{0},
                              {12617},
                              {40337},
                              {63075},
                              {93260},
                              {117965},
                              {151715},
                              {184190},
                              {215110},
                              {247305},
                              {281585, true}},
                             333651, 281585 - kSessionGapSectors);
  const std::optional<AccurateRipIds> ids = AccurateRipIdsOf(disc);
  ASSERT_TRUE(ids);
  EXPECT_EQ(*ids, (AccurateRipIds{10, 0x00164419, 0x00b9f6e2, 0x9e11600b}));
  EXPECT_EQ(AccurateRipPath(*ids), "/accuraterip/9/1/4/dBAR-010-00164419-00b9f6e2-9e11600b.bin");
}

// A published mixed-mode CD (a data track, then 28 audio tracks) and its database ids
// 028-00517a54-05a845d2-af0da31d: the audio tracks are numbered from 1 without the data track.
TEST(AccurateRipIdsPublishedTest, MixedModeCd) {
  std::vector<Entry> tracks = {{0, true}};
  for (int32_t lba : {66728,  76502,  85963,  93760,  104048, 116066, 124743, 134206, 142916, 151852,
                      160720, 169425, 178731, 188459, 196711, 206354, 214845, 223686, 225746, 226384,
                      232668, 239447, 239931, 244989, 254264, 260066, 261222, 261674})
    tracks.push_back({lba - kLeadInSectors});
  const std::optional<AccurateRipIds> ids = AccurateRipIdsOf(TocOf(tracks, 261976 - kLeadInSectors));
  ASSERT_TRUE(ids);
  EXPECT_EQ(*ids, (AccurateRipIds{28, 0x00517a54, 0x05a845d2, 0xaf0da31d}));
}

TEST(AccurateRipIdsPublishedTest, ADiscWithoutAudioHasNoIds) {
  EXPECT_FALSE(AccurateRipIdsOf(TocOf({{0, true}}, 5000)));
}

}  // namespace
}  // namespace korvi
