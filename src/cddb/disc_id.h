#pragma once
// The CDDB disc id, from the track starts and the lead-out in minutes-seconds-frames with the
// 150-frame lead-in, as a CD audio device reports them.

#include <cstdint>
#include <vector>

#include "disc/cdrom_toc.h"

namespace korvi {

struct CCDDBTrackPosition {
  int32_t minutes = 0;
  int32_t seconds = 0;
  int32_t frames = 0;
};

// positions: the starts of tracks 1..n, then the lead-out. An empty array gives 0.
uint32_t ComputeDiscId(const std::vector<CCDDBTrackPosition>& positions);

// The positions of every track of the record, data tracks included, then the lead-out, as they
// stand in the table of contents. False, with an empty array, when the disc has no audio track.
bool TrackPositionsFromToc(const CDROM_TOC& toc, std::vector<CCDDBTrackPosition>& positions);

// The disc id of the record, and the disc's length in whole seconds (the lead-out's minutes and
// seconds, lead-in included, as CDDB entries give it); 0 for a disc without an audio track.
uint32_t DiscIdOf(const CDROM_TOC& toc);
int32_t DiscLengthOf(const CDROM_TOC& toc);

}  // namespace korvi
