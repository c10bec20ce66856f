#pragma once
// Audio before track 1: on some discs the first track's INDEX 01 lies minutes into the disc, and
// what comes before it (a hidden track) can be reached only by rewinding from track 1 in a player.

#include <optional>

#include "disc/cdrom_toc.h"

namespace korvi {

class ISectorSource;

// The sectors before the first track when it is an audio track that starts after sector 0 and
// what lies there is not digital silence; nullopt otherwise, and when those sectors cannot be read
// (then nothing is offered that might not be there). Reads until the first sample that is not 0.
std::optional<TrackSpan> HiddenTrackOf(ISectorSource& source, const DiscToc& disc);

// What the hidden track is called in the list, the log and its file's name.
inline constexpr const char* kHiddenTrackTitle = "Hidden track";

}  // namespace korvi
