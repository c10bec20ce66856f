#pragma once
// The releases in a reply of MusicBrainz's disc id look-up (JSON, /ws/2/discid), reduced to what
// the track list needs. Parsing never throws: a reply that is not what MusicBrainz sends becomes
// an error.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvi {

struct MusicBrainzTrack {
  std::string title;
  std::string artist;  // the track's credits, joined as MusicBrainz shows them
  std::string recordingId;
};

struct MusicBrainzRelease {
  std::string releaseId;
  std::string title;
  std::string artist;            // the release's credits: each name, then its join phrase
  std::string date;              // this release's own: "1997", "1997-05" or "1997-05-21"; may be empty
  std::string firstReleaseDate;  // the release group's, when the reply has it
  std::string year;              // 4 digits of date, else of the first release date; may be empty
  std::string country;
  std::string label;  // the first label and its catalogue number, when given
  std::string catalogNumber;
  std::string barcode;
  std::string format;  // of the medium: "CD", "Enhanced CD", "SHM-CD", ...
  int discNumber = 0;  // the position of the medium that holds the disc, and how many there are
  int discCount = 0;
  int trackCount = 0;  // of that medium
  std::vector<MusicBrainzTrack> tracks;
  // The look-up by TOC: the medium's disc ids or track lengths are within a few sectors a track of
  // the disc's. A release none of whose media is gives each medium of the disc's track count.
  bool closeMatch = false;
};

// A real reply nests fewer than 20 levels; one that nests deeper is refused before it is built.
inline constexpr int kMaxMusicBrainzDepth = 32;
// The values and keys a reply may hold. A reply of the largest size MusicBrainz is allowed to
// send holds fewer; beyond it, a reply of tiny values would cost memory out of all proportion.
inline constexpr size_t kMaxMusicBrainzItems = 300000;
// How far each track's length may be from the disc's for a medium to be the disc (2/15 s).
inline constexpr int32_t kCloseTrackSectors = 10;

// discId: the disc looked up, whose medium each release gives (discs[].id); a release without
// such a medium is left out. Empty for a fuzzy look-up by TOC: then a release gives its medium
// whose disc ids or track lengths are within kCloseTrackSectors a track of trackSectors (the
// disc's track lengths), the closest of them, or else each medium of as many tracks, one release
// each; releases with a close medium come first. On failure returns none and sets *error (why,
// for the user).
std::optional<std::vector<MusicBrainzRelease>> ParseMusicBrainzReleases(
    std::string_view json, const std::string& discId, const std::vector<int32_t>& trackSectors,
    std::string* error);

}  // namespace korvi
