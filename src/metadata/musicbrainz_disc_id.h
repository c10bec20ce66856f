#pragma once
// The MusicBrainz disc id of a table of contents, and the TOC that its fuzzy look-up takes.
//
// MusicBrainz counts from the first track of the record, a data track before the audio included,
// to the last audio track; a data track after the audio (an enhanced CD) is left out, and the
// lead-out is where its audio session ends. On a drive that is 11400 sectors before the data
// session, as libdiscid reads it; on an image, where the image puts the end of the audio.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "disc/cdrom_toc.h"

namespace korvi {

struct MusicBrainzToc {
  int firstTrack = 0;
  int lastTrack = 0;
  // Absolute sectors, the 150-sector lead-in included: the lead-out, then each track's start.
  int32_t leadOut = 0;
  std::vector<int32_t> offsets;

  int TrackCount() const { return lastTrack - firstTrack + 1; }
};

// None for a disc without audio, or a record that no disc can have.
std::optional<MusicBrainzToc> MusicBrainzTocOf(const DiscToc& disc);

// The 28-character disc id; empty when libdiscid refuses the TOC.
std::string MusicBrainzDiscId(const MusicBrainzToc& toc);

// "first+last+leadout+offset1+...", as the toc parameter of a look-up takes it.
std::string MusicBrainzTocParameter(const MusicBrainzToc& toc);

}  // namespace korvi
