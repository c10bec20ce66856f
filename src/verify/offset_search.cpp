#include "verify/offset_search.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <set>

#include "disc/cdrom_toc.h"
#include "verify/accuraterip_checksum.h"

namespace korvi {
namespace {

constexpr size_t kSampleBytes = 4;
// AccurateRip leaves out the first track's samples before this position and the last track's
// last five sectors.
constexpr uint32_t kEdgeSamples = 5 * kRawSectorBytes / kSampleBytes;

uint32_t SampleAt(const OffsetSearchTrack& track, int64_t index) {
  uint32_t word;
  std::memcpy(&word, track.audio.data() + size_t(index) * kSampleBytes, sizeof word);
  return word;
}

bool Usable(const OffsetSearchTrack& track) {
  return track.margin >= 0 && track.samples > 2 * kEdgeSamples &&
         track.audio.size() == (size_t(track.samples) + 2 * size_t(track.margin)) * kSampleBytes;
}

// What the database says of the track read at offset, summed whole.
AccurateRipMatch MatchAt(const OffsetSearchTrack& track, int32_t offset,
                         const std::vector<AccurateRipPressing>& pressings, const AccurateRipIds& ids) {
  AccurateRipChecksum sums(track.first, track.last);
  sums.Feed(track.audio.data() + size_t(track.margin + offset) * kSampleBytes, size_t(track.samples) * kSampleBytes);
  return MatchAccurateRip(pressings, ids, track.track, sums.V1(), sums.V2());
}

// The offsets at which the track's v1 checksum is one the database holds for it. Position j of
// the track (from 1) at offset o is sample margin + o + j − 1 of the audio; from one offset to the
// next, the weighted sum W and the plain sum T over the counted positions a..b move as
// W' = W − T − (a − 1)·x(a) + b·x(b + 1) and T' = T − x(a) + x(b + 1), modulo 2³².
std::set<int32_t> V1Candidates(const OffsetSearchTrack& track, const std::set<uint32_t>& wanted) {
  std::set<int32_t> found;
  const uint32_t a = track.first ? kEdgeSamples : 1;
  const uint32_t b = track.last ? track.samples - kEdgeSamples : track.samples;
  const auto x = [&track](int32_t offset, uint32_t position) {
    return SampleAt(track, int64_t(track.margin) + offset + position - 1);
  };
  int32_t offset = -track.margin;
  uint32_t weighted = 0, plain = 0;
  for (uint32_t j = a; j <= b; ++j) {
    weighted += j * x(offset, j);
    plain += x(offset, j);
  }
  for (;; ++offset) {
    if (wanted.count(weighted)) found.insert(offset);
    if (offset == track.margin) break;
    const uint32_t leaving = x(offset, a), entering = x(offset, b + 1);
    weighted = weighted - plain - (a - 1) * leaving + b * entering;
    plain = plain - leaving + entering;
  }
  return found;
}

std::set<uint32_t> DatabaseChecksums(const std::vector<AccurateRipPressing>& pressings, const AccurateRipIds& ids,
                                     int track) {
  std::set<uint32_t> checksums;
  for (const AccurateRipPressing& pressing : pressings)
    if (pressing.ids == ids && track >= 1 && track <= int(pressing.tracks.size()) &&
        pressing.tracks[size_t(track - 1)].confidence > 0)
      checksums.insert(pressing.tracks[size_t(track - 1)].checksum);
  return checksums;
}

}  // namespace

std::vector<OffsetMatch> FindReadOffsets(const std::vector<OffsetSearchTrack>& tracks,
                                         const std::vector<AccurateRipPressing>& pressings,
                                         const AccurateRipIds& ids, const std::vector<int32_t>& tryFirst) {
  std::vector<const OffsetSearchTrack*> usable;
  int32_t margin = INT32_MAX;
  for (const OffsetSearchTrack& track : tracks)
    if (Usable(track)) {
      usable.push_back(&track);
      margin = std::min(margin, track.margin);
    }
  std::map<int32_t, OffsetMatch> matches;
  const auto tryOffsets = [&](const std::set<int32_t>& offsets, const OffsetSearchTrack& track) {
    for (const int32_t offset : offsets) {
      if (offset < -margin || offset > margin) continue;
      const AccurateRipMatch match = MatchAt(track, offset, pressings, ids);
      if (match.verdict != AccurateRipVerdict::kAccurate) continue;
      OffsetMatch& entry = matches[offset];
      entry.offset = offset;
      entry.tracks.push_back(track.track);
      entry.confidences.push_back(match.confidence);
      entry.versions.push_back(match.version);
    }
  };
  const std::set<int32_t> listed(tryFirst.begin(), tryFirst.end());
  for (const OffsetSearchTrack* track : usable) tryOffsets(listed, *track);
  if (matches.empty())
    for (const OffsetSearchTrack* track : usable)
      tryOffsets(V1Candidates(*track, DatabaseChecksums(pressings, ids, track->track)), *track);

  std::vector<OffsetMatch> ranked;
  for (auto& [offset, match] : matches) ranked.push_back(std::move(match));
  const auto total = [](const OffsetMatch& match) {
    int sum = 0;
    for (const int confidence : match.confidences) sum += confidence;
    return sum;
  };
  std::stable_sort(ranked.begin(), ranked.end(), [&total](const OffsetMatch& x, const OffsetMatch& y) {
    if (x.tracks.size() != y.tracks.size()) return x.tracks.size() > y.tracks.size();
    return total(x) > total(y);
  });
  return ranked;
}

}  // namespace korvi
