#include "verify/accuraterip_lookup.h"

#include <string_view>

#include "net/accuraterip_fetch.h"

namespace korvi {

AccurateRipAnswer AskAccurateRip(const AccurateRipIds& ids, const CancelToken* cancel) {
  AccurateRipAnswer answer;
  AccurateRipFetch fetch = FetchAccurateRip(AccurateRipPath(ids), cancel);
  switch (fetch.kind) {
    case AccurateRipFetch::Kind::kNotInDatabase:
      answer.kind = AccurateRipAnswer::Kind::kNotInDatabase;
      return answer;
    case AccurateRipFetch::Kind::kNotReachable:
      answer.error = std::move(fetch.error);
      return answer;
    case AccurateRipFetch::Kind::kFound:
      break;
  }
  const std::string_view bytes(reinterpret_cast<const char*>(fetch.bytes.data()), fetch.bytes.size());
  std::string reason;
  if (!ParseAccurateRipReply(bytes, answer.pressings, &reason)) {
    answer.error = "the database's reply cannot be read: " + reason;
    return answer;
  }
  answer.kind = AccurateRipAnswer::Kind::kFound;
  return answer;
}

AccurateRipLookup::AccurateRipLookup(const AccurateRipIds& ids)
    : m_ids(ids), m_cancel(CancelToken::Create()) {
  m_thread = std::thread([this] { m_answer = AskAccurateRip(m_ids, m_cancel.get()); });
}

AccurateRipLookup::~AccurateRipLookup() {
  Cancel();
  if (m_thread.joinable()) m_thread.join();
}

const AccurateRipAnswer& AccurateRipLookup::Wait() {
  if (m_thread.joinable()) m_thread.join();
  return m_answer;
}

std::string AccurateRipResult::Text() const {
  switch (status) {
    case Status::kAccurate:
      return "Accurate (v" + std::to_string(version) + ", confidence " + std::to_string(confidence) + ")";
    case Status::kNotAccurate:
      return "Not accurate";
    case Status::kNotInDatabase:
      return "Not in database";
    case Status::kNotReachable:
      break;
  }
  return "Database not reachable";
}

AccurateRipResult AccurateRipResultOf(const AccurateRipAnswer& answer, const AccurateRipIds& ids, int track,
                                      uint32_t v1, uint32_t v2) {
  AccurateRipResult result;
  switch (answer.kind) {
    case AccurateRipAnswer::Kind::kNotReachable:
      return result;
    case AccurateRipAnswer::Kind::kNotInDatabase:
      result.status = AccurateRipResult::Status::kNotInDatabase;
      return result;
    case AccurateRipAnswer::Kind::kFound:
      break;
  }
  const AccurateRipMatch match = MatchAccurateRip(answer.pressings, ids, track, v1, v2);
  result.databaseChecksum = match.databaseChecksum;
  switch (match.verdict) {
    case AccurateRipVerdict::kAccurate:
      result.status = AccurateRipResult::Status::kAccurate;
      result.version = match.version;
      result.confidence = match.confidence;
      break;
    case AccurateRipVerdict::kNotAccurate:
      result.status = AccurateRipResult::Status::kNotAccurate;
      result.confidence = match.confidence;
      break;
    case AccurateRipVerdict::kNotInDatabase:
      result.status = AccurateRipResult::Status::kNotInDatabase;
      break;
  }
  return result;
}

std::string AccurateRipSummary(int accurate, int verified, bool databaseAnswered) {
  if (!databaseAnswered) return "No track could be verified: the AccurateRip database was not reachable";
  return std::to_string(accurate) + " of " + std::to_string(verified) + " tracks accurately ripped";
}

}  // namespace korvi
