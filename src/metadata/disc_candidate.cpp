#include "metadata/disc_candidate.h"

#include <charconv>

#include "cddb/cddb_record.h"
#include "disc/cd_text.h"
#include "metadata/musicbrainz_client.h"

namespace korvi {
namespace {

// The year a date begins with ("1997", "1997-05-21"); 0 for anything else.
int YearOf(const std::string& date) {
  int year = 0;
  if (date.size() < 4) return 0;
  const auto [end, error] = std::from_chars(date.data(), date.data() + 4, year);
  return error == std::errc() && end == date.data() + 4 && year > 0 ? year : 0;
}

}  // namespace

std::vector<DiscCandidate> CandidatesOf(const MusicBrainzLookup& lookup) {
  std::vector<DiscCandidate> candidates;
  for (const MusicBrainzRelease& release : lookup.releases) {
    DiscCandidate candidate;
    candidate.source = LookupSource::kMusicBrainz;
    candidate.album = release.title;
    candidate.artist = release.artist;
    candidate.year = YearOf(release.year);
    candidate.country = release.country;
    candidate.trackCount = release.trackCount;
    for (const MusicBrainzTrack& track : release.tracks)
      candidate.tracks.push_back({track.title, track.artist, track.recordingId});
    candidate.musicBrainzDiscId = lookup.fuzzy ? std::string() : lookup.discId;
    candidate.releaseId = release.releaseId;
    candidate.releaseDate = release.date;
    candidate.originalDate = release.firstReleaseDate;
    candidate.label = release.label;
    candidate.catalogNumber = release.catalogNumber;
    candidate.barcode = release.barcode;
    candidate.format = release.format;
    candidate.discNumber = release.discNumber;
    candidate.discCount = release.discCount;
    candidates.push_back(std::move(candidate));
  }
  return candidates;
}

std::optional<DiscCandidate> CandidateOf(const DiscText& text) {
  DiscCandidate candidate;
  candidate.source = LookupSource::kCdText;
  candidate.album = text.disc.title;
  candidate.artist = text.disc.performer;
  candidate.year = YearOf(text.date);
  candidate.genre = text.genre;
  bool named = !candidate.album.empty();
  for (const CdTextFields& track : text.tracks) {
    candidate.tracks.push_back({track.title, track.performer, {}});
    named = named || !track.title.empty();
  }
  candidate.trackCount = static_cast<int>(candidate.tracks.size());
  if (!named) return std::nullopt;
  return candidate;
}

std::optional<DiscCandidate> CandidateOf(const CCDDBRecord& entry, const std::string& category) {
  if (entry.trackTitles.empty() && entry.discTitle.empty() && entry.discArtist.empty()) return std::nullopt;
  DiscCandidate candidate;
  candidate.source = LookupSource::kCddb;
  candidate.album = entry.discTitle;
  candidate.artist = entry.discArtist;
  candidate.year = entry.year;
  candidate.category = category;
  candidate.genre = entry.genre.empty() ? category : entry.genre;
  candidate.discLength = entry.discLength;
  candidate.trackCount = static_cast<int>(entry.trackTitles.size());
  // CDDB names one artist for the disc; a track's record takes it, as the library always kept it.
  for (const std::string& title : entry.trackTitles) candidate.tracks.push_back({title, entry.discArtist, {}});
  return candidate;
}

std::string DiscOfText(const DiscCandidate& candidate) {
  if (candidate.discNumber <= 0) return {};
  if (candidate.discCount <= 0) return std::to_string(candidate.discNumber);
  return std::to_string(candidate.discNumber) + " of " + std::to_string(candidate.discCount);
}

std::string CandidateDate(const DiscCandidate& candidate) {
  if (YearOf(candidate.releaseDate) > 0) return candidate.releaseDate;
  return candidate.year > 0 ? std::to_string(candidate.year) : std::string();
}

std::string CandidateSummary(const DiscCandidate& candidate) {
  std::string details;
  const auto add = [&details](const std::string& part) {
    if (part.empty()) return;
    if (!details.empty()) details += ", ";
    details += part;
  };
  add(CandidateDate(candidate));
  add(candidate.country.empty() ? candidate.category : candidate.country);
  std::string label = candidate.label;
  if (!label.empty() && !candidate.catalogNumber.empty()) label += ' ';
  add(label + candidate.catalogNumber);
  if (!candidate.barcode.empty()) add("barcode " + candidate.barcode);
  add(candidate.format);
  if (candidate.discNumber > 0 && candidate.discCount > 1) add("disc " + DiscOfText(candidate));
  add(std::to_string(candidate.trackCount) + (candidate.trackCount == 1 ? " track" : " tracks"));
  return candidate.album + " / " + candidate.artist + " (" + details + ")";
}

}  // namespace korvi
