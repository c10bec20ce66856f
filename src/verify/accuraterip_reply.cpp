#include "verify/accuraterip_reply.h"

#include "disc/cdrom_toc.h"

namespace korvi {
namespace {

constexpr size_t kHeaderBytes = 13;
constexpr size_t kEntryBytes = 9;

uint32_t WordAt(std::string_view bytes, size_t at) {
  uint32_t word = 0;
  for (int i = 3; i >= 0; --i) word = (word << 8) | static_cast<uint8_t>(bytes[at + i]);
  return word;
}

bool Reject(std::vector<AccurateRipPressing>& pressings, std::string* reason, std::string why) {
  pressings.clear();
  if (reason) *reason = std::move(why);
  return false;
}

}  // namespace

bool ParseAccurateRipReply(std::string_view reply, std::vector<AccurateRipPressing>& pressings,
                           std::string* reason) {
  pressings.clear();
  if (reply.empty()) return Reject(pressings, reason, "the reply is empty");
  if (reply.size() > kMaxAccurateRipReplyBytes)
    return Reject(pressings, reason,
                  "the reply has " + std::to_string(reply.size()) + " bytes, more than a disc's can have");
  size_t at = 0;
  while (at < reply.size()) {
    const std::string where = "pressing " + std::to_string(pressings.size() + 1);
    if (reply.size() - at < kHeaderBytes)
      return Reject(pressings, reason, where + " is cut short in its header");
    AccurateRipPressing pressing;
    pressing.ids.audioTracks = static_cast<uint8_t>(reply[at]);
    pressing.ids.id1 = WordAt(reply, at + 1);
    pressing.ids.id2 = WordAt(reply, at + 5);
    pressing.ids.cddbId = WordAt(reply, at + 9);
    at += kHeaderBytes;
    const int tracks = pressing.ids.audioTracks;
    if (tracks < 1 || tracks > kMaxTocTracks)
      return Reject(pressings, reason, where + " names " + std::to_string(tracks) + " tracks");
    if (reply.size() - at < tracks * kEntryBytes)
      return Reject(pressings, reason, where + " is cut short in its tracks");
    pressing.tracks.resize(tracks);
    for (AccurateRipEntry& entry : pressing.tracks) {
      entry.confidence = static_cast<uint8_t>(reply[at]);
      entry.checksum = WordAt(reply, at + 1);
      entry.frame450Checksum = WordAt(reply, at + 5);
      at += kEntryBytes;
    }
    pressings.push_back(std::move(pressing));
  }
  return true;
}

AccurateRipMatch MatchAccurateRip(const std::vector<AccurateRipPressing>& pressings,
                                  const AccurateRipIds& ids, int track, uint32_t v1, uint32_t v2) {
  AccurateRipMatch match;
  for (const AccurateRipPressing& pressing : pressings) {
    if (pressing.ids != ids || track < 1 || track > static_cast<int>(pressing.tracks.size())) continue;
    const AccurateRipEntry& entry = pressing.tracks[track - 1];
    // A zero confidence is the database's placeholder for a track it has no checksum of.
    if (entry.confidence == 0) continue;
    if (match.verdict == AccurateRipVerdict::kNotInDatabase) match.verdict = AccurateRipVerdict::kNotAccurate;
    const int version = entry.checksum == v2 ? 2 : entry.checksum == v1 ? 1 : 0;
    if (version == 0) {
      if (match.verdict == AccurateRipVerdict::kNotAccurate && entry.confidence > match.confidence) {
        match.confidence = entry.confidence;
        match.databaseChecksum = entry.checksum;
      }
      continue;
    }
    if (match.verdict == AccurateRipVerdict::kAccurate &&
        (entry.confidence < match.confidence ||
         (entry.confidence == match.confidence && version < match.version)))
      continue;
    match = {AccurateRipVerdict::kAccurate, version, entry.confidence, entry.checksum};
  }
  return match;
}

}  // namespace korvi
