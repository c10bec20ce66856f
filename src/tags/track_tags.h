#pragma once
// Tags beyond ID3v1, written into a file once its writer has closed it: an ID3v2.4 tag in UTF-8 for
// MP3 (the ID3v1 tag at the end left as it is), an APEv2 tag for APE, Vorbis comments for FLAC and
// Opus. Fields that are empty or 0 are left out.

#include <string>
#include <string_view>

namespace korvi {

struct TrackTags {
  std::string title;
  std::string artist;
  std::string album;
  std::string albumArtist;
  int year = 0;
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

// Whether files of this extension (".mp3", ".ape", ".flac", ".opus") take the tags; ".wav" does not.
bool TakesTrackTags(std::string_view extension);

// Writes the tags into the closed file at path, of the format its extension names. The empty
// string when they were written (or the format takes none), else why not.
std::string WriteTrackTags(const std::string& path, std::string_view extension, const TrackTags& tags);

}  // namespace korvi
