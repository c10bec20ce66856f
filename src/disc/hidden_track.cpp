#include "disc/hidden_track.h"

#include <algorithm>
#include <vector>

#include "disc/sector_source.h"

namespace korvi {
namespace {

constexpr int32_t kBatchSectors = 26;

}  // namespace

std::optional<TrackSpan> HiddenTrackOf(ISectorSource& source, const DiscToc& disc) {
  if (TocTrackCount(disc.toc) < 1 || IsDataEntry(disc.toc.TrackData[0])) return std::nullopt;
  const int32_t start = TrackSpanOf(disc, 1).begin;
  if (start <= 0) return std::nullopt;
  std::vector<uint8_t> batch(size_t(kBatchSectors) * kRawSectorBytes);
  for (int32_t sector = 0; sector < start; sector += kBatchSectors) {
    const int32_t count = std::min(kBatchSectors, start - sector);
    if (!source.ReadRawSectors(sector, batch.data(), count)) return std::nullopt;
    const auto end = batch.begin() + ptrdiff_t(count) * kRawSectorBytes;
    if (std::any_of(batch.begin(), end, [](uint8_t byte) { return byte != 0; })) return TrackSpan{0, start - 1};
  }
  return std::nullopt;
}

}  // namespace korvi
