#pragma once
// The releases in a reply of MusicBrainz's disc id look-up (JSON, /ws/2/discid), reduced to what
// the track list needs. Parsing never throws: a reply that is not what MusicBrainz sends becomes
// an error.

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
  std::string date;              // as given: "1997", "1997-05" or "1997-05-21"; may be empty
  std::string firstReleaseDate;  // the release group's, when the reply has it
  std::string year;              // 4 digits of the first release date, else of date; may be empty
  std::string country;
  std::string label;  // the first label and its catalogue number, when given
  std::string catalogNumber;
  int discNumber = 0;  // the position of the medium that holds the disc, and how many there are
  int discCount = 0;
  int trackCount = 0;  // of that medium
  std::vector<MusicBrainzTrack> tracks;
};

// discId: the disc looked up, whose medium each release gives (discs[].id); empty for a fuzzy
// look-up by TOC, which takes the first medium of trackCount tracks instead. A release without
// such a medium is left out. On failure returns none and sets *error (why, for the user).
std::optional<std::vector<MusicBrainzRelease>> ParseMusicBrainzReleases(std::string_view json,
                                                                        const std::string& discId,
                                                                        int trackCount, std::string* error);

}  // namespace korvi
