// ParseAccurateRipReply on arbitrary bytes, as the database's server or anything posing as it may
// send them: a reply it takes is made of whole pressings that account for every byte, and each
// checksum in it is found accurate by MatchAccurateRip with at least its own confidence.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_checks.h"
#include "verify/accuraterip_reply.h"

using korvi::fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view reply(reinterpret_cast<const char*>(data), size);
  std::vector<korvi::AccurateRipPressing> pressings;
  std::string reason;
  if (!korvi::ParseAccurateRipReply(reply, pressings, &reason)) {
    Require(pressings.empty() && !reason.empty());
    return 0;
  }
  Require(!pressings.empty());
  size_t bytes = 0;
  for (const korvi::AccurateRipPressing& pressing : pressings) {
    const int tracks = pressing.ids.audioTracks;
    Require(tracks >= 1 && tracks <= 99 && pressing.tracks.size() == size_t(tracks));
    bytes += 13 + 9 * size_t(tracks);
    for (int track = 1; track <= tracks; ++track) {
      const korvi::AccurateRipEntry& entry = pressing.tracks[size_t(track - 1)];
      Require(entry.confidence >= 0 && entry.confidence <= 255);
      if (entry.confidence == 0) continue;
      // As a v1 checksum with a v2 that differs, and as v2.
      for (const auto& [v1, v2] :
           {std::pair{entry.checksum, ~entry.checksum}, std::pair{~entry.checksum, entry.checksum}}) {
        const korvi::AccurateRipMatch match = korvi::MatchAccurateRip(pressings, pressing.ids, track, v1, v2);
        Require(match.verdict == korvi::AccurateRipVerdict::kAccurate &&
                match.confidence >= entry.confidence);
        Require(match.version == 1 || match.version == 2);
      }
    }
    // Pressings of the same ids have the same track count: a track beyond it is in none.
    for (const int track : {0, tracks + 1})
      Require(korvi::MatchAccurateRip(pressings, pressing.ids, track, 1, 2).verdict ==
              korvi::AccurateRipVerdict::kNotInDatabase);
  }
  Require(bytes == size);
  return 0;
}
