#pragma once
// Finding the titles of the disc in the drive: the local library first, then the CDDB server's
// first match. The search works on its own copy of the record; whoever started it decides on its
// own thread whether the result still counts.

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "cddb/cddb_server.h"
#include "library/disc_info.h"

namespace korvi {

class CCDDBCancelToken;

struct LookupRequest {
  std::string drive;          // device or image path
  std::string libraryFolder;  // DefaultLibFolder
  CCDDBServer server;
  std::string helloEmail;    // CDDBEmail: the user's address for the server's hello, or empty
  CDiscInfo record;          // the record as it stands, tracks numbered for every row
  int waitTimeoutMs = 2000;  // for each piece of a reply
};

struct LookupOutcome {
  enum Kind { kFailed, kFromLibrary, kFromServer };
  Kind kind = kFailed;
  CDiscInfo record;   // what the record becomes; unchanged on failure
  std::string cause;  // why it failed, for the command-line tool
};

// Runs the whole search on the calling thread. status gets "Get disc-info ..." at the start.
LookupOutcome RunLookup(const LookupRequest& request, const std::shared_ptr<CCDDBCancelToken>& cancel,
                        const std::function<void(const std::string&)>& status);

// Applies a server entry to a record: album, artist, length, id, and a title for each of the
// record's tracks (one track per title when it has none); tracks without a title are numbered.
// Texts become one line without control characters, at most 255 bytes, as the library keeps them.
void ApplyEntry(CDiscInfo& record, const struct CCDDBRecord& entry, uint32_t discId);

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
    std::shared_ptr<CCDDBCancelToken> cancel;
    std::shared_ptr<std::atomic<bool>> ended;
  };
  void ReapEnded();

  Sink m_sink;
  std::atomic<uint64_t> m_generation{0};
  std::atomic<bool> m_running{false};
  std::vector<Worker> m_workers;
};

}  // namespace korvi
