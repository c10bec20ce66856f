#pragma once
// The AccurateRip database's answer for one disc, asked for on a thread of its own when a rip
// starts, so that neither the window nor the reading waits for it; and what it says of a track.

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/cancel_token.h"
#include "verify/accuraterip_ids.h"
#include "verify/accuraterip_reply.h"

namespace korvi {

struct AccurateRipAnswer {
  enum class Kind { kFound, kNotInDatabase, kNotReachable };
  Kind kind = Kind::kNotReachable;
  std::vector<AccurateRipPressing> pressings;  // of kFound
  std::string error;                           // of kNotReachable: why, for the log
};

// Fetches and parses the disc's file; a reply that cannot be parsed counts as not reachable.
AccurateRipAnswer AskAccurateRip(const AccurateRipIds& ids, const CancelToken* cancel);

class AccurateRipLookup {
 public:
  // Starts asking at once.
  explicit AccurateRipLookup(const AccurateRipIds& ids);
  // Cancels a question still open and waits for its thread.
  ~AccurateRipLookup();
  AccurateRipLookup(const AccurateRipLookup&) = delete;
  AccurateRipLookup& operator=(const AccurateRipLookup&) = delete;

  const AccurateRipIds& Ids() const { return m_ids; }
  // Any thread: the answer comes at once, as not reachable.
  void Cancel() { m_cancel->Cancel(); }
  // Waits for the answer; the same answer every later call.
  const AccurateRipAnswer& Wait();
  // Whether Wait has returned: the answer is there without waiting.
  bool Answered() const { return !m_thread.joinable(); }

 private:
  AccurateRipIds m_ids;
  std::shared_ptr<CancelToken> m_cancel;
  AccurateRipAnswer m_answer;
  std::thread m_thread;
};

struct AccurateRipResult {
  enum class Status { kAccurate, kNotAccurate, kNotInDatabase, kNotReachable };
  Status status = Status::kNotReachable;
  int version = 0;     // of kAccurate: 1 or 2
  int confidence = 0;  // of kAccurate; of kNotAccurate, that of the database's most agreed checksum
  uint32_t databaseChecksum = 0;  // of kAccurate and kNotAccurate: see AccurateRipMatch

  // "Accurate (v2, confidence 12)", "Not accurate", "Not in database", "Database not reachable"
  std::string Text() const;
};

// What the answer says of the disc's audio track number track (1-based) with these checksums.
AccurateRipResult AccurateRipResultOf(const AccurateRipAnswer& answer, const AccurateRipIds& ids, int track,
                                      uint32_t v1, uint32_t v2);

// "12 of 12 tracks accurately ripped"; when the database gave no answer, that no track could be
// verified, since "0 of 12" would blame the rip for the network.
std::string AccurateRipSummary(int accurate, int verified, bool databaseAnswered = true);

}  // namespace korvi
