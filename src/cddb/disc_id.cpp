#include "cddb/disc_id.h"

namespace korvi {
namespace {

uint32_t DigitSum(int32_t value) {
  uint32_t sum = 0;
  for (uint32_t rest = value > 0 ? static_cast<uint32_t>(value) : 0; rest > 0; rest /= 10) sum += rest % 10;
  return sum;
}

int32_t WholeSeconds(const CCDDBTrackPosition& position) { return position.minutes * 60 + position.seconds; }

}  // namespace

uint32_t ComputeDiscId(const std::vector<CCDDBTrackPosition>& positions) {
  if (positions.empty()) return 0;
  const size_t n = positions.size() - 1;
  uint32_t sum = 0;
  for (size_t i = 0; i < n; ++i) sum += DigitSum(WholeSeconds(positions[i]));
  const uint32_t t = static_cast<uint32_t>(WholeSeconds(positions[n]) - WholeSeconds(positions[0]));
  return ((sum % 255) << 24) | (t << 8) | static_cast<uint32_t>(n);
}

bool TrackPositionsFromToc(const CDROM_TOC& toc, std::vector<CCDDBTrackPosition>& positions) {
  positions.clear();
  const int count = TocTrackCount(toc);
  bool hasAudio = false;
  for (int i = 0; i < count; ++i) hasAudio = hasAudio || !IsDataEntry(toc.TrackData[i]);
  if (!hasAudio) return false;
  for (int i = 0; i <= count; ++i) {
    const uint8_t* address = toc.TrackData[i].Address;
    positions.push_back({address[1], address[2], address[3]});
  }
  return true;
}

uint32_t DiscIdOf(const CDROM_TOC& toc) {
  std::vector<CCDDBTrackPosition> positions;
  return TrackPositionsFromToc(toc, positions) ? ComputeDiscId(positions) : 0;
}

int32_t DiscLengthOf(const CDROM_TOC& toc) {
  std::vector<CCDDBTrackPosition> positions;
  return TrackPositionsFromToc(toc, positions) ? WholeSeconds(positions.back()) : 0;
}

}  // namespace korvi
