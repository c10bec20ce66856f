#pragma once
// Finding a drive's read offset from a disc in the AccurateRip database: a track's audio read with
// no correction, and a margin of samples on either side, is summed at every candidate offset; the
// offset whose checksums the database holds is the drive's.

#include <cstdint>
#include <vector>

#include "verify/accuraterip_ids.h"
#include "verify/accuraterip_reply.h"

namespace korvi {

struct OffsetSearchTrack {
  int track = 0;  // the disc's audio track, counted from 1 as AccurateRip counts them
  bool first = false;
  bool last = false;
  uint32_t samples = 0;  // the track's length in stereo samples
  // The audio from `margin` samples before the track to `margin` after it, as read with no
  // correction: (samples + 2 × margin) × 4 bytes.
  std::vector<uint8_t> audio;
  int32_t margin = 0;
};

struct OffsetMatch {
  int32_t offset = 0;
  std::vector<int> tracks;       // the ones whose checksums matched at this offset
  std::vector<int> confidences;  // the database's confidence for each of them
  std::vector<int> versions;     // and which checksum matched (1 or 2)
};

// The offsets, within ±margin, at which at least one of the tracks matches, most tracks first.
// The offsets in tryFirst are summed whole (v1 and v2); when none of them matches, every offset in
// the margin is tried by its v1 checksum, which one offset's sum gives the next one's cheaply.
std::vector<OffsetMatch> FindReadOffsets(const std::vector<OffsetSearchTrack>& tracks,
                                         const std::vector<AccurateRipPressing>& pressings,
                                         const AccurateRipIds& ids, const std::vector<int32_t>& tryFirst);

}  // namespace korvi
