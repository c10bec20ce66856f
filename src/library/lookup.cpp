#include "library/lookup.h"

#include <algorithm>

#include "common/cancel_token.h"
#include "cddb/cddb_client.h"
#include "cddb/cddb_record.h"
#include "disc/track_rows.h"
#include "metadata/musicbrainz_client.h"
#include "text/utf8_text.h"

namespace korvi {
namespace {

constexpr size_t kLibraryTextBytes = 255;  // a text of the library file, without its ending zero
constexpr size_t kMaxTracks = 99;

// A text of the entry as the record keeps it: one line without control characters, which could
// move a terminal's cursor or split korvi-cli's one-title-per-line output, and no longer than the
// library keeps it (cut on a character boundary), so that the record loads back as it was found.
std::string RecordText(const std::string& text) {
  return std::string(CutUtf8(ReplaceControls(text, ' '), kLibraryTextBytes));
}

}  // namespace

void ApplyCandidate(CDiscInfo& record, const DiscCandidate* candidate, uint32_t discId, int firstNumber) {
  record.albumTitle = candidate ? RecordText(candidate->album) : std::string();
  record.albumArtist = candidate ? RecordText(candidate->artist) : std::string();
  record.discLength = !candidate ? 0 : candidate->discLength >= 0 ? candidate->discLength : record.discLength;
  record.discId = discId;
  const size_t titles = candidate ? candidate->tracks.size() : 0;
  // One track per row the record came with (per title when it came with none), so that the file
  // saved in the library loads back for this disc: titles beyond the rows are dropped, rows beyond
  // the titles are numbered.
  const size_t rows = record.tracks.empty() ? std::min(titles, kMaxTracks) : record.tracks.size();
  record.tracks.clear();
  for (size_t i = 0; i < rows; ++i) {
    if (i >= titles || candidate->tracks[i].title.empty()) {
      // The answer's year holds for its untitled tracks too; without one, none.
      record.tracks.emplace_back(0, 0, NumberedTrackName(firstNumber + int(i)).c_str()).year =
          candidate ? candidate->year : kNoYear;
      continue;
    }
    const CandidateTrack& found = candidate->tracks[i];
    CTrackInfo track(0, 0);
    track.setTitle(RecordText(found.title));
    track.album = record.albumTitle;
    track.artist = found.artist.empty() ? record.albumArtist : RecordText(found.artist);
    track.year = candidate->year;
    record.tracks.push_back(std::move(track));
  }
  // What the library file has no room for is kept beside it; an answer replaces all that an
  // earlier one told, which would name another release.
  record.extras = DiscExtras();
  if (!candidate) return;
  DiscExtras& extras = record.extras;
  extras.source = LookupSourceName(candidate->source);
  extras.genre = RecordText(candidate->genre);
  if (candidate->source != LookupSource::kMusicBrainz) return;
  extras.musicBrainzDiscId = candidate->musicBrainzDiscId;
  extras.musicBrainzReleaseId = candidate->releaseId;
  extras.releaseDate = candidate->releaseDate;
  extras.originalDate = candidate->originalDate;
  extras.releaseCountry = candidate->country;
  extras.label = candidate->label;
  extras.catalogNumber = candidate->catalogNumber;
  extras.discNumber = candidate->discNumber;
  extras.discCount = candidate->discCount;
  for (size_t i = 0; i < record.tracks.size(); ++i)
    extras.recordingIds.push_back(i < titles ? candidate->tracks[i].recordingId : std::string());
}

namespace {

// At most this many entries of one query are read: each is a request of its own.
constexpr size_t kMaxCddbEntries = 10;

// What one source of the order found.
struct SourceAnswer {
  std::vector<DiscCandidate> candidates;
  bool noEntry = false;  // the CDDB server matched the disc but has no entry under its id
  std::string cause;     // why nothing was found
};

SourceAnswer AskMusicBrainz(const LookupRequest& request, const CancelToken& cancel) {
  SourceAnswer answer;
  const MusicBrainzLookup lookup = LookUpMusicBrainz(request.disc, &cancel);
  if (lookup.kind == MusicBrainzLookup::Kind::kFound)
    answer.candidates = CandidatesOf(lookup);
  else if (lookup.kind == MusicBrainzLookup::Kind::kNotFound)
    answer.cause = lookup.error.empty() ? "MusicBrainz does not know the disc" : "MusicBrainz: " + lookup.error;
  else
    answer.cause = lookup.error;
  return answer;
}

SourceAnswer AskCddb(const LookupRequest& request, CCDDB& cddb, uint32_t discId) {
  SourceAnswer answer;
  std::vector<CCDDBTrackPosition> positions;
  if (!cddb.GetDiscTrackPositions(positions, request.drive)) {
    answer.cause = "the disc cannot be read";
    return answer;
  }
  std::vector<CCDDBQueryResult> matches;
  if (!cddb.Query(request.server, discId, positions, matches)) {
    answer.cause = cddb.FailureCause(request.server);
    return answer;
  }
  // Several matches are each read, so that the user can choose by what the entries hold. Each is
  // read under the category and id it is listed with: an inexact match (211) is an entry of
  // another disc id, with the same track count and nearly the same length.
  for (size_t i = 0; i < matches.size() && i < kMaxCddbEntries; ++i) {
    CCDDBRecord entry;
    if (!cddb.Read(request.server, matches[i].discId, matches[i].category, entry)) {
      // The first entry is the answer; a later one that fails is only left out of the choice.
      if (i == 0) {
        answer.cause = cddb.FailureCause(request.server);
        return answer;
      }
      continue;
    }
    if (std::optional<DiscCandidate> candidate = CandidateOf(entry, matches[i].category))
      answer.candidates.push_back(std::move(*candidate));
    else
      answer.noEntry = true;
  }
  if (answer.candidates.empty()) answer.cause = "the CDDB server has no entry for the disc";
  return answer;
}

// The record has a track per listed row. A source that names every track of a mixed-mode disc
// (CDDB, the disc's CD-Text) names its leading data tracks first: their titles name no row.
void KeepListedTracks(DiscCandidate& candidate, const DiscToc& disc) {
  const ListedTracks listed = ListedTracksOf(disc);
  if (listed.first > 0 && int(candidate.tracks.size()) == TocTrackCount(disc.toc))
    candidate.tracks.erase(candidate.tracks.begin(), candidate.tracks.begin() + listed.first);
}

SourceAnswer AskCdText(const LookupRequest& request) {
  SourceAnswer answer;
  if (std::optional<DiscCandidate> candidate = CandidateOf(request.disc.text))
    answer.candidates.push_back(std::move(*candidate));
  else
    answer.cause = "the disc has no CD-Text";
  return answer;
}

}  // namespace

LookupOutcome RunLookup(const LookupRequest& request, const std::shared_ptr<CancelToken>& cancel,
                        const std::function<void(const std::string&)>& status) {
  LookupOutcome outcome;
  outcome.record = request.record;
  status("Get disc-info ...");
  CCDDB cddb;
  cddb.SetCancelToken(cancel);
  cddb.SetWaitTimeout(request.waitTimeoutMs);
  cddb.SetHelloEmail(request.helloEmail);
  const auto fail = [&](const std::string& cause) {
    outcome.kind = LookupOutcome::kFailed;
    outcome.record = request.record;
    outcome.cause = cause;
    return outcome;
  };

  uint32_t discId = 0;
  if (!cddb.GetDiscId(request.drive, discId)) return fail("the disc has no audio track or cannot be read");
  outcome.discId = discId;
  if (FindInLibrary(discId, request.libraryFolder, outcome.record)) {
    outcome.kind = LookupOutcome::kFromLibrary;
    return outcome;
  }
  if (request.order.empty()) return fail("the disc is not in the library, and every other source is off");

  std::string causes;
  bool cddbHasNoEntry = false;
  for (LookupSource source : request.order) {
    SourceAnswer answer = source == LookupSource::kMusicBrainz ? AskMusicBrainz(request, *cancel)
                          : source == LookupSource::kCddb      ? AskCddb(request, cddb, discId)
                                                               : AskCdText(request);
    if (cancel->IsCancelled()) return fail("the lookup was stopped");
    if (!answer.candidates.empty()) {
      outcome.kind = LookupOutcome::kFromServer;
      outcome.source = source;
      outcome.candidates = std::move(answer.candidates);
      for (DiscCandidate& candidate : outcome.candidates) KeepListedTracks(candidate, request.disc);
      ApplyCandidate(outcome.record, &outcome.candidates.front(), discId, RowTrackNumber(request.disc, 0));
      return outcome;
    }
    cddbHasNoEntry = cddbHasNoEntry || (source == LookupSource::kCddb && answer.noEntry);
    if (!causes.empty()) causes += "; ";
    causes += answer.cause;
  }
  // The CDDB server's "no such entry" is an answer when nothing better came: numbered titles,
  // kept in the library so that the disc is not asked about again.
  if (cddbHasNoEntry) {
    outcome.kind = LookupOutcome::kFromServer;
    outcome.source = LookupSource::kCddb;
    ApplyCandidate(outcome.record, nullptr, discId, RowTrackNumber(request.disc, 0));
    return outcome;
  }
  return fail(causes);
}

DiscInfoLookup::~DiscInfoLookup() {
  Stop();
  for (Worker& worker : m_workers) worker.thread.join();  // cancelled: they end at once
}

uint64_t DiscInfoLookup::Start(LookupRequest request) {
  Stop();
  ReapEnded();
  const uint64_t generation = ++m_generation;
  m_running.store(true);
  Worker worker{{}, CancelToken::Create(), std::make_shared<std::atomic<bool>>(false)};
  worker.thread = std::thread([sink = m_sink, request = std::move(request), cancel = worker.cancel,
                               ended = worker.ended, generation] {
    LookupOutcome outcome =
        RunLookup(request, cancel, [&](const std::string& text) { sink.status(generation, text); });
    if (!cancel->IsCancelled()) sink.done(generation, std::move(outcome));
    ended->store(true);
  });
  m_workers.push_back(std::move(worker));
  return generation;
}

void DiscInfoLookup::Stop() {
  if (!m_running.exchange(false)) return;
  ++m_generation;
  if (!m_workers.empty()) m_workers.back().cancel->Cancel();
}

void DiscInfoLookup::Finished(uint64_t generation) {
  if (generation == m_generation.load()) m_running.store(false);
  ReapEnded();
}

void DiscInfoLookup::ReapEnded() {
  for (auto it = m_workers.begin(); it != m_workers.end();) {
    if (it->ended->load()) {
      it->thread.join();
      it = m_workers.erase(it);
    } else {
      ++it;
    }
  }
}

}  // namespace korvi
