#include "library/lookup.h"

#include <algorithm>

#include "cddb/cancel_token.h"
#include "cddb/cddb_client.h"
#include "cddb/cddb_record.h"
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

void ApplyEntry(CDiscInfo& record, const CCDDBRecord& entry, uint32_t discId) {
  record.albumTitle = RecordText(entry.discTitle);
  record.albumArtist = RecordText(entry.discArtist);
  record.discLength = entry.discLength;
  record.discId = discId;
  // One track per row the record came with (per title when it came with none), so that the file
  // saved in the library loads back for this disc: titles beyond the rows are dropped, rows beyond
  // the titles are numbered.
  const size_t rows =
      record.tracks.empty() ? std::min(entry.trackTitles.size(), kMaxTracks) : record.tracks.size();
  record.tracks.clear();
  for (size_t i = 0; i < rows; ++i) {
    if (i >= entry.trackTitles.size()) {
      record.tracks.emplace_back(0, 0, ("Track " + std::to_string(i + 1)).c_str());
      continue;
    }
    CTrackInfo track(0, 0);
    track.setTitle(RecordText(entry.trackTitles[i]));
    track.album = record.albumTitle;
    track.artist = record.albumArtist;
    track.year = entry.year;
    record.tracks.push_back(std::move(track));
  }
}

LookupOutcome RunLookup(const LookupRequest& request, const std::shared_ptr<CCDDBCancelToken>& cancel,
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
  if (FindInLibrary(discId, request.libraryFolder, outcome.record)) {
    outcome.kind = LookupOutcome::kFromLibrary;
    return outcome;
  }
  std::vector<CCDDBTrackPosition> positions;
  if (!cddb.GetDiscTrackPositions(positions, request.drive)) return fail("the disc cannot be read");
  std::vector<CCDDBQueryResult> matches;
  if (!cddb.Query(request.server, discId, positions, matches)) return fail(cddb.FailureCause(request.server));
  CCDDBRecord entry;
  if (!cddb.Read(request.server, discId, matches.front().category, entry))
    return fail(cddb.FailureCause(request.server));
  ApplyEntry(outcome.record, entry, discId);
  outcome.kind = LookupOutcome::kFromServer;
  return outcome;
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
  Worker worker{{}, CCDDBCancelToken::Create(), std::make_shared<std::atomic<bool>>(false)};
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
