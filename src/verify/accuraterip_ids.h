#pragma once
// The AccurateRip disc ids, which name a disc's file in the database, from the table of contents.

#include <cstdint>
#include <optional>
#include <string>

#include "disc/cdrom_toc.h"

namespace korvi {

struct AccurateRipIds {
  int audioTracks = 0;
  uint32_t id1 = 0;     // the audio tracks' first sectors and the lead-out, added
  uint32_t id2 = 0;     // each first sector (at least 1) times its audio track number, and the lead-out
  uint32_t cddbId = 0;  // the CDDB disc id of every track, data tracks included
  bool operator==(const AccurateRipIds&) const = default;
};

// Only the audio tracks count and are numbered 1..n, but the lead-out is the disc's own, past any
// data track. A data track after the audio (an enhanced CD) that the record puts closer than a
// session gap to the audio's end (an image) is moved there, and the lead-out with it, as on the
// pressed disc. None for a disc without audio.
std::optional<AccurateRipIds> AccurateRipIdsOf(const DiscToc& disc);

// "/accuraterip/a/b/c/dBAR-ttt-iiiiiiii-jjjjjjjj-cccccccc.bin": a, b, c are the last three hex
// digits of id1, the last first.
std::string AccurateRipPath(const AccurateRipIds& ids);

}  // namespace korvi
