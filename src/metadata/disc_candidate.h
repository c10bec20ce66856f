#pragma once
// One answer of a lookup source, in the same shape whatever the source: what the choice between
// several answers shows and what fills the disc-info record.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "metadata/lookup_order.h"

namespace korvi {

struct CCDDBRecord;
struct DiscText;
struct MusicBrainzLookup;

struct CandidateTrack {
  std::string title;
  std::string artist;  // empty: the album artist's
  std::string recordingId;
};

struct DiscCandidate {
  LookupSource source = LookupSource::kCddb;
  std::string album;
  std::string artist;
  int year = 0;             // 0 when unknown
  std::string country;      // MusicBrainz: where the release came out
  std::string category;     // CDDB: the entry's category
  std::string genre;        // CDDB: the entry's genre, else its category; CD-Text: its genre
  int32_t discLength = -1;  // seconds, as a CDDB entry gives it; -1: the disc's own
  int trackCount = 0;       // of the release's medium or the entry, which may differ from the disc's
  std::vector<CandidateTrack> tracks;
  // MusicBrainz only.
  std::string musicBrainzDiscId;
  std::string releaseId;
  std::string releaseDate;
  std::string label;
  std::string catalogNumber;
  int discNumber = 0;
  int discCount = 0;
};

// Each release found, in the service's order.
std::vector<DiscCandidate> CandidatesOf(const MusicBrainzLookup& lookup);

// The CD-Text of the disc (or its cue sheet); none when it names neither the album nor a track.
std::optional<DiscCandidate> CandidateOf(const DiscText& text);

// A CDDB entry of category; none when it has no titles at all (the server's "no such entry").
std::optional<DiscCandidate> CandidateOf(const CCDDBRecord& entry, const std::string& category);

// "Album / Artist (1997, GB, 12 tracks)", for lists of candidates.
std::string CandidateSummary(const DiscCandidate& candidate);

}  // namespace korvi
