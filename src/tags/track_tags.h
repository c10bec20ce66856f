#pragma once
// Tags beyond ID3v1, written into a file once its writer has closed it: an ID3v2.4 tag in UTF-8 for
// MP3 (the ID3v1 tag at the end left as it is), an APEv2 tag for APE, Vorbis comments for FLAC and
// Opus. Fields that are empty or 0 are left out.
//
// The date is the release's own, as the common taggers write it: the whole date of the release
// ("1997-05-21") where it is known and its year is still the track's, else the track's year; the
// first release's date goes beside it as the original date (Vorbis ORIGINALDATE, ID3v2.4 TDOR,
// APEv2 ORIGINALDATE).

#include <string>
#include <string_view>

namespace korvi {

struct TrackTags {
  std::string title;
  std::string artist;
  std::string album;
  std::string albumArtist;
  int year = 0;
  std::string releaseDate;   // "1997", "1997-05" or "1997-05-21"; another form is left out
  std::string originalDate;  // the same form
  int trackNumber = 0;
  int trackTotal = 0;
  int discNumber = 0;
  int discTotal = 0;
  std::string genre;
  std::string comment;
  std::string musicBrainzReleaseId;
  std::string musicBrainzRecordingId;
  std::string musicBrainzDiscId;
};

// The date the tags give: releaseDate when it is a date whose year is year, else year; "" for none.
std::string TagDate(int year, const std::string& releaseDate);

// Whether files of this extension (".mp3", ".ape", ".flac", ".opus") take the tags; ".wav" does not.
bool TakesTrackTags(std::string_view extension);

// Writes the tags into the closed file at path, of the format its extension names. The empty
// string when they were written (or the format takes none), else why not.
std::string WriteTrackTags(const std::string& path, std::string_view extension, const TrackTags& tags);

}  // namespace korvi
