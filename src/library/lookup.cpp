#include "library/lookup.h"

#include "cddb/cancel_token.h"
#include "cddb/cddb_client.h"
#include "cddb/cddb_record.h"

namespace korvi {

void ApplyEntry(CDiscInfo& record, const CCDDBRecord& entry, uint32_t discId) {
  record.albumTitle = entry.discTitle;
  record.albumArtist = entry.discArtist;
  record.discLength = entry.discLength;
  record.discId = discId;
  record.tracks.clear();
  for (const std::string& title : entry.trackTitles) {
    CTrackInfo track(0, 0, title.c_str());
    track.album = entry.discTitle;
    track.artist = entry.discArtist;
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
  const auto fail = [&](const std::string& cause) {
    outcome.kind = LookupOutcome::kFailed;
    outcome.record = request.record;
    outcome.cause = cause.empty() ? "the CDDB server gave no answer" : cause;
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
  if (!cddb.Query(request.server, discId, positions, matches)) return fail(cddb.LastFailureText());
  CCDDBRecord entry;
  if (!cddb.Read(request.server, discId, matches.front().category, entry))
    return fail(cddb.LastFailureText());
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
