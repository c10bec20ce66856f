// MusicBrainz disc ids of disc images read as the program reads them, against an oracle that
// shares none of that path: cd-info's own listing of the cue sheet, MusicBrainz's published rules
// for which tracks count and where the lead-out is, and libdiscid's hash. The hash is libdiscid's
// on both sides, so what this checks is the numbers that go into it — the first and last track,
// the 150-sector lead-in on every offset, and the lead-out of a disc with a data track — which is
// where an id goes wrong.

#include "metadata/musicbrainz_disc_id.h"

#include <discid/discid.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "disc/cd_device.h"
#include "fixtures/disc_image_writer.h"
#include "fixtures/oracles.h"
#include "fixtures/temp_dir.h"

namespace korvi {
namespace {

using fixtures::CdInfoTrack;

struct OracleId {
  std::string id;
  std::string toc;  // libdiscid's TOC string, its spaces as '+'
};

// libdiscid's id for the tracks of cd-info's listing from the first to the last audio track, with
// the lead-out at leadOutLsn (a logical sector, as cd-info lists them).
OracleId LibDiscIdOf(const std::vector<CdInfoTrack>& listing, int32_t leadOutLsn) {
  int last = 0;
  for (const CdInfoTrack& track : listing)
    if (track.audio && track.number != 170) last = track.number;
  const int first = listing.front().number;
  int offsets[100] = {};
  offsets[0] = leadOutLsn + 150;
  for (const CdInfoTrack& track : listing)
    if (track.number >= first && track.number <= last) offsets[track.number] = track.lsn + 150;
  const std::unique_ptr<DiscId, void (*)(DiscId*)> disc(discid_new(), discid_free);
  if (!discid_put(disc.get(), first, last, offsets)) return {};
  OracleId oracle{discid_get_id(disc.get()), discid_get_toc_string(disc.get())};
  std::replace(oracle.toc.begin(), oracle.toc.end(), ' ', '+');
  return oracle;
}

TEST(MusicBrainzDiscId, ImagesWithHiddenAudioAndDataTracksMatchLibDiscId) {
  fixtures::TempDir dir;
  struct Case {
    const char* name;
    std::vector<fixtures::ImageTrack> tracks;
    // Where the audio ends, from cd-info's listing.
    int32_t (*leadOut)(const std::vector<CdInfoTrack>&);
  };
  const std::vector<Case> cases = {
      // An enhanced CD: the data session follows the audio session's lead-out, lead-in and pregap,
      // 11400 sectors in all, which the image stores as the data track's pregap. MusicBrainz (and
      // libdiscid reading a drive) end the audio 11400 sectors before the data track.
      {"enhanced with hidden audio",
       {{false, 900, 200, {}}, {false, 1300, 150, {}}, {false, 700, 33, {}}, {true, 500, 11400, {}}},
       [](const std::vector<CdInfoTrack>& l) { return l[3].lsn - 11400; }},
      // An image without the session gap: its audio ends where the data track's 150-sector
      // pregap begins, and the last track is as long as the image plays it.
      {"data pregap only",
       {{false, 3000, 20, {}}, {false, 4567, 150, {}}, {false, 1500, 150, {}}, {true, 900, 150, {}}},
       [](const std::vector<CdInfoTrack>& l) { return l[3].lsn - 150; }},
      // A data track first counts: MusicBrainz's releases start at track 1.
      {"data first",
       {{true, 800, 0, {}}, {false, 500, 150, {}}, {false, 600, 0, {}}},
       [](const std::vector<CdInfoTrack>& l) { return l.back().lsn; }},
      {"all audio with hidden audio",
       {{false, 1000, 333, {}}, {false, 800, 0, {}}, {false, 1200, 75, {}}},
       [](const std::vector<CdInfoTrack>& l) { return l.back().lsn; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fixtures::ImageLayout layout;
    layout.tracks = c.tracks;
    layout.audiblePregaps = true;
    fixtures::WrittenImage image;
    std::string error;
    ASSERT_TRUE(fixtures::WriteCueBinImage(dir / (std::string(c.name) + ".cue"), layout, &image, &error))
        << error;
    const std::vector<CdInfoTrack> listing = fixtures::CdInfoTracks(image.cue);
    ASSERT_EQ(listing.size(), c.tracks.size() + 1) << "cd-info did not list the image";
    const OracleId expected = LibDiscIdOf(listing, c.leadOut(listing));
    ASSERT_EQ(expected.id.size(), 28u);

    auto device = CdDevice::Open(image.cue.string());
    ASSERT_TRUE(device);
    DiscToc disc;
    ASSERT_TRUE(device->ReadToc(disc)) << device->lastError();
    const std::optional<MusicBrainzToc> toc = MusicBrainzTocOf(disc);
    ASSERT_TRUE(toc);
    EXPECT_EQ(MusicBrainzDiscId(*toc), expected.id);
    EXPECT_EQ(MusicBrainzTocParameter(*toc), expected.toc);
  }
}

}  // namespace
}  // namespace korvi
