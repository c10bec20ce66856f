#pragma once
// Finding the titles of the disc in the drive: the local library first, then the sources of the
// lookup order (MusicBrainz, CDDB, CD-Text) until one of them knows the disc. The search works on
// its own copy of the record; whoever started it decides on its own thread whether the result
// still counts, and which of several answers to take.

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "cddb/cddb_server.h"
#include "disc/cdrom_toc.h"
#include "library/disc_info.h"
#include "metadata/disc_candidate.h"
#include "metadata/lookup_order.h"

namespace korvi {

class CancelToken;

struct LookupRequest {
  std::string drive;          // device or image path
  std::string libraryFolder;  // DefaultLibFolder
  CCDDBServer server;
  std::string helloEmail;    // CDDBEmail: the user's address for the server's hello, or empty
  CDiscInfo record;          // the record as it stands, tracks numbered for every row
  DiscToc disc;              // the table of contents read from drive, with its CD-Text
  std::vector<LookupSource> order = AllLookupSources();
  int waitTimeoutMs = 2000;  // for each piece of a reply
};

struct LookupOutcome {
  enum Kind { kFailed, kFromLibrary, kFromServer };  // kFromServer: from a source of the order
  Kind kind = kFailed;
  CDiscInfo record;   // what the record becomes (with the first candidate); unchanged on failure
  std::string cause;  // why it failed, for the user
  LookupSource source = LookupSource::kCddb;  // kFromServer: the source that knew the disc
  // kFromServer: what the source found, best first; more than one asks for a choice. Empty when
  // the CDDB server had no entry for the disc's id, which still counts as an answer.
  std::vector<DiscCandidate> candidates;
  uint32_t discId = 0;  // the disc's CDDB id, which names its library file
};

// Runs the whole search on the calling thread. status gets "Get disc-info ..." at the start.
LookupOutcome RunLookup(const LookupRequest& request, const std::shared_ptr<CancelToken>& cancel,
                        const std::function<void(const std::string&)>& status);

// Applies a candidate to a record: album, artist, length, id, and a title, artist and year for each
// of the record's tracks (one track per title when it has none); tracks without a title are
// numbered after the disc's own numbers, the record's first track being the disc's firstNumber.
// Texts become one line without control characters, at most 255 bytes, as the library keeps them.
// A null candidate is the server's "no such entry": no titles at all.
void ApplyCandidate(CDiscInfo& record, const DiscCandidate* candidate, uint32_t discId, int firstNumber);

// At most one search at a time on a worker thread. A stopped search is abandoned, not awaited:
// its network calls are cancelled and its thread is reaped later; it reports nothing more.
class DiscInfoLookup {
 public:
  // Called on the worker thread; generation tells which search it came from.
  struct Sink {
    std::function<void(uint64_t generation, const std::string& text)> status;
    std::function<void(uint64_t generation, LookupOutcome outcome)> done;
  };

  explicit DiscInfoLookup(Sink sink) : m_sink(std::move(sink)) {}
  ~DiscInfoLookup();
  DiscInfoLookup(const DiscInfoLookup&) = delete;
  DiscInfoLookup& operator=(const DiscInfoLookup&) = delete;

  // Stops the running search and starts a new one; its generation.
  uint64_t Start(LookupRequest request);
  // The running search's results stop counting at once.
  void Stop();
  // Whether results of this generation still count.
  bool IsCurrent(uint64_t generation) const { return m_running.load() && generation == m_generation.load(); }
  bool IsRunning() const { return m_running.load(); }
  // Called by the owner when it has taken the result of the current search.
  void Finished(uint64_t generation);

 private:
  struct Worker {
    std::thread thread;
    std::shared_ptr<CancelToken> cancel;
    std::shared_ptr<std::atomic<bool>> ended;
  };
  void ReapEnded();

  Sink m_sink;
  std::atomic<uint64_t> m_generation{0};
  std::atomic<bool> m_running{false};
  std::vector<Worker> m_workers;
};

}  // namespace korvi
