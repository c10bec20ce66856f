// The table-of-contents arithmetic and the rows built from it, on records made by hand.

#include <gtest/gtest.h>

#include "cddb/disc_id.h"
#include "disc/cdrom_toc.h"
#include "disc/track_info.h"
#include "disc/track_rows.h"

namespace korvi {
namespace {

struct Entry {
  int m, s, f;
  bool data = false;
};

// A record whose tracks start at the given addresses (lead-in included), the last being the lead-out.
DiscToc MakeToc(const std::vector<Entry>& entries, int firstTrack = 1) {
  DiscToc disc;
  disc.toc.FirstTrack = static_cast<uint8_t>(firstTrack);
  disc.toc.LastTrack = static_cast<uint8_t>(firstTrack + entries.size() - 2);
  for (size_t i = 0; i < entries.size(); ++i) {
    TRACK_DATA& e = disc.toc.TrackData[i];
    e.ControlAdr = entries[i].data ? 0x14 : 0x10;
    e.Address[1] = static_cast<uint8_t>(entries[i].m);
    e.Address[2] = static_cast<uint8_t>(entries[i].s);
    e.Address[3] = static_cast<uint8_t>(entries[i].f);
  }
  return disc;
}

TEST(SectorArithmetic, MsfIncludesTheLeadIn) {
  EXPECT_EQ(SectorFromMsf(0, 2, 0), 0);
  EXPECT_EQ(SectorFromMsf(4, 7, 0), 18375);
  EXPECT_EQ(SectorFromMsf(0, 0, 0), -150);
  const uint8_t address[4] = {0, 79, 59, 74};
  EXPECT_EQ(SectorFromMsf(address), 79 * 4500 + 59 * 75 + 74 - 150);

  TRACK_DATA entry{};
  SetEntryAddress(entry, 18375 + 150);
  EXPECT_EQ(entry.Address[1], 4);
  EXPECT_EQ(entry.Address[2], 7);
  EXPECT_EQ(entry.Address[3], 0);
}

TEST(LengthText, WholeSecondsWithoutLeadingZeros) {
  EXPECT_EQ(LengthText(0, 245 * 75), "0:4:5");
  EXPECT_EQ(LengthText(0, 18374), "0:4:4");
  EXPECT_EQ(LengthText(100, 100 + 74), "0:0:0");
  EXPECT_EQ(LengthText(0, 3723 * 75 + 74), "1:2:3");
  EXPECT_EQ(LengthText(0, 60 * 75), "0:1:0");
}

TEST(TrackInfo, StartsWithoutAYearAndWithEmptyTexts) {
  CTrackInfo track(10, 85);
  int32_t begin = 0, end = 0;
  track.getRange(begin, end);
  EXPECT_EQ(begin, 10);
  EXPECT_EQ(end, 85);
  EXPECT_EQ(track.length(), 75);
  EXPECT_EQ(track.LengthText(), "0:0:1");
  EXPECT_EQ(track.year, kNoYear);
  EXPECT_TRUE(track.title().empty() && track.artist.empty() && track.album.empty() && track.comment.empty());

  CTrackInfo named(0, 1, "Intro");
  CTrackInfo copy = named;
  named.setTitle(nullptr);
  EXPECT_EQ(copy.title(), "Intro");
  EXPECT_EQ(named.title(), "");
}

TEST(TrackRows, AllAudioDiscListsEveryTrackChecked) {
  const DiscToc disc = MakeToc({{0, 2, 0}, {4, 7, 0}, {9, 30, 12}, {15, 0, 0}});
  TrackRowTable rows;
  AppendTrackRows(rows, disc);
  ASSERT_EQ(rows.RowCount(), 3);
  EXPECT_EQ(rows.Text(0, kColumnName), "Track 1");
  EXPECT_EQ(rows.Text(0, kColumnLength), "0:4:4");
  EXPECT_EQ(rows.Text(0, kColumnBegin), "0");
  EXPECT_EQ(rows.Text(0, kColumnEnd), "18374");
  EXPECT_EQ(rows.Text(2, kColumnName), "Track 3");
  // The last track ends one sector before the lead-out.
  EXPECT_EQ(rows.Text(2, kColumnEnd), std::to_string(SectorFromMsf(15, 0, 0) - 1));
  for (int r = 0; r < 3; ++r) {
    EXPECT_TRUE(rows.IsChecked(r));
    EXPECT_EQ(rows.ItemData(r), nullptr);
  }
}

TEST(TrackRows, RowsKeepTheDiscsOwnTrackNumbers) {
  const DiscToc disc = MakeToc({{0, 2, 0}, {3, 0, 0}, {5, 0, 0}}, 7);
  TrackRowTable rows;
  AppendTrackRows(rows, disc);
  ASSERT_EQ(rows.RowCount(), 2);
  EXPECT_EQ(rows.Text(0, kColumnName), "Track 7");
  EXPECT_EQ(rows.Text(1, kColumnName), "Track 8");
  EXPECT_EQ(RowTrackNumber(disc, 1), 8);
}

TEST(TrackRows, TheAudioAfterLeadingDataTracksUpToTheNextDataTrack) {
  const DiscToc dataLast = MakeToc({{0, 2, 0}, {3, 0, 0}, {5, 0, 0, true}, {9, 0, 0}});
  TrackRowTable rows;
  AppendTrackRows(rows, dataLast);
  EXPECT_EQ(rows.RowCount(), 2);
  // A short gap is a data track in the same session: the audio track runs up to it.
  EXPECT_EQ(rows.Text(1, kColumnEnd), std::to_string(SectorFromMsf(5, 0, 0) - 1));

  // Mixed mode: the data track first, then audio, then data again.
  const DiscToc dataFirst = MakeToc({{0, 2, 0, true}, {3, 0, 0}, {5, 0, 0}, {7, 0, 0, true}, {9, 0, 0}});
  rows.DeleteAllRows();
  AppendTrackRows(rows, dataFirst);
  ASSERT_EQ(rows.RowCount(), 2);
  EXPECT_EQ(rows.Text(0, kColumnName), "Track 2");
  EXPECT_EQ(rows.Text(0, kColumnBegin), std::to_string(SectorFromMsf(3, 0, 0)));
  EXPECT_EQ(rows.Text(1, kColumnEnd), std::to_string(SectorFromMsf(7, 0, 0) - 1));
  EXPECT_EQ(RowTrackNumber(dataFirst, 1), 3);

  const DiscToc empty = MakeToc({{0, 2, 0}}, 1);  // LastTrack < FirstTrack
  rows.DeleteAllRows();
  AppendTrackRows(rows, empty);
  EXPECT_EQ(rows.RowCount(), 0);
}

TEST(TrackRows, EnhancedCdEndsTheAudioSessionBeforeItsLeadOut) {
  // Audio session up to 20:00:00, data track of the second session 11400 sectors later.
  const int32_t dataStart = SectorFromMsf(20, 0, 0) + kSessionGapSectors;
  DiscToc disc = MakeToc({{0, 2, 0}, {10, 0, 0}, {0, 0, 0, true}, {40, 0, 0}});
  SetEntryAddress(disc.toc.TrackData[2], dataStart + kLeadInSectors);
  disc.audioEnd = dataStart - kSessionGapSectors;

  TrackRowTable rows;
  AppendTrackRows(rows, disc);
  ASSERT_EQ(rows.RowCount(), 2);
  EXPECT_EQ(rows.Text(0, kColumnEnd), std::to_string(SectorFromMsf(10, 0, 0) - 1));
  EXPECT_EQ(rows.Text(1, kColumnEnd), std::to_string(SectorFromMsf(20, 0, 0) - 1));
  EXPECT_EQ(rows.Text(1, kColumnLength), LengthText(SectorFromMsf(10, 0, 0), SectorFromMsf(20, 0, 0) - 1));

  // The disc id still counts the data track and the lead-out as they stand.
  std::vector<CCDDBTrackPosition> positions;
  ASSERT_TRUE(TrackPositionsFromToc(disc.toc, positions));
  ASSERT_EQ(positions.size(), 4u);
  EXPECT_EQ(positions[3].minutes, 40);
}

TEST(TrackRows, RowSpanReadsTheSectorColumnsAsAtoiWould) {
  TrackRowTable rows;
  const int r = rows.InsertRow(5, "Track 1");
  EXPECT_EQ(r, 0);
  rows.SetText(r, kColumnBegin, "1200");
  rows.SetText(r, kColumnEnd, "abc");
  EXPECT_EQ(RowSpan(rows, r).begin, 1200);
  EXPECT_EQ(RowSpan(rows, r).end, 0);
  rows.SetText(r, kColumnEnd, "99999999999999");
  EXPECT_EQ(RowSpan(rows, r).end, INT32_MAX);
  // Out-of-range rows and columns are ignored, not a crash.
  rows.SetText(7, kColumnEnd, "1");
  rows.SetText(r, 9, "1");
  EXPECT_EQ(rows.Text(7, 0), "");
}

TEST(DiscId, WorkedExample) {
  const std::vector<CCDDBTrackPosition> positions = {{0, 2, 0}, {3, 0, 0}, {6, 0, 0}};
  EXPECT_EQ(ComputeDiscId(positions), 0x0b016602u);
  EXPECT_EQ(ComputeDiscId({}), 0u);
}

TEST(DiscId, ADiscWithoutAudioHasNoPositions) {
  const DiscToc data = MakeToc({{0, 2, 0, true}, {30, 0, 0}});
  std::vector<CCDDBTrackPosition> positions = {{1, 1, 1}};
  EXPECT_FALSE(TrackPositionsFromToc(data.toc, positions));
  EXPECT_TRUE(positions.empty());
}

}  // namespace
}  // namespace korvi
