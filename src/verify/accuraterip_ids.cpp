#include "verify/accuraterip_ids.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "cddb/disc_id.h"

namespace korvi {

std::optional<AccurateRipIds> AccurateRipIdsOf(const DiscToc& disc) {
  const CDROM_TOC& toc = disc.toc;
  const int count = TocTrackCount(toc);
  int lastAudio = -1;
  for (int i = 0; i < count; ++i)
    if (!IsDataEntry(toc.TrackData[i])) lastAudio = i;
  if (lastAudio < 0) return std::nullopt;

  int32_t shift = 0;
  if (lastAudio + 1 < count) {
    const int32_t dataBegin = SectorFromMsf(toc.TrackData[lastAudio + 1].Address);
    const int32_t audioEnd = std::min(disc.audioEnd.value_or(dataBegin), dataBegin);
    shift = std::max(0, audioEnd + kSessionGapSectors - dataBegin);
  }
  auto sectorOf = [&](int i) {
    return SectorFromMsf(toc.TrackData[i].Address) + (i > lastAudio ? shift : 0);
  };

  AccurateRipIds ids;
  for (int i = 0; i < count; ++i) {
    if (IsDataEntry(toc.TrackData[i])) continue;
    const uint32_t begin = static_cast<uint32_t>(sectorOf(i));
    ++ids.audioTracks;
    ids.id1 += begin;
    ids.id2 += std::max(begin, 1u) * static_cast<uint32_t>(ids.audioTracks);
  }
  const uint32_t leadOut = static_cast<uint32_t>(sectorOf(count));
  ids.id1 += leadOut;
  ids.id2 += leadOut * static_cast<uint32_t>(ids.audioTracks + 1);

  std::vector<CCDDBTrackPosition> positions;
  for (int i = 0; i <= count; ++i) {
    const int32_t frames = sectorOf(i) + kLeadInSectors;
    positions.push_back(
        {frames / (60 * kSectorsPerSecond), (frames / kSectorsPerSecond) % 60, frames % kSectorsPerSecond});
  }
  ids.cddbId = ComputeDiscId(positions);
  return ids;
}

std::string AccurateRipPath(const AccurateRipIds& ids) {
  char id1[9];
  std::snprintf(id1, sizeof id1, "%08x", ids.id1);
  char path[96];
  std::snprintf(path, sizeof path, "/accuraterip/%c/%c/%c/dBAR-%03d-%08x-%08x-%08x.bin", id1[7], id1[6],
                id1[5], ids.audioTracks, ids.id1, ids.id2, ids.cddbId);
  return path;
}

}  // namespace korvi
