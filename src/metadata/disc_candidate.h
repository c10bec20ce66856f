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
  std::string releaseDate;   // this release's own: "1997", "1997-05" or "1997-05-21"
  std::string originalDate;  // the release group's first release
  std::string label;
  std::string catalogNumber;
  std::string barcode;
  std::string format;  // of the medium
  int discNumber = 0;
  int discCount = 0;
};

// Each release found, in the service's order.
std::vector<DiscCandidate> CandidatesOf(const MusicBrainzLookup& lookup);

// The CD-Text of the disc (or its cue sheet); none when it names neither the album nor a track.
std::optional<DiscCandidate> CandidateOf(const DiscText& text);

// A CDDB entry of category; none when it has no titles at all (the server's "no such entry").
std::optional<DiscCandidate> CandidateOf(const CCDDBRecord& entry, const std::string& category);

// "Album / Artist (1997-05-21, GB, Label CAT-1, barcode 5012345678900, CD, disc 2 of 3, 12 tracks)",
// for lists of candidates: what each knows of the date (the year when it has no date), the country
// or the CDDB category, the label and catalogue number, the barcode, the format, the disc of the
// set, and the track count.
std::string CandidateSummary(const DiscCandidate& candidate);

// "2 of 3", "2" or "" for the medium's place in its release.
std::string DiscOfText(const DiscCandidate& candidate);

// The candidate's date as the choice shows it: the release's own date, else the year; "" for none.
std::string CandidateDate(const DiscCandidate& candidate);

}  // namespace korvi
