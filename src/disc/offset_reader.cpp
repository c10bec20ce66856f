#include "disc/offset_reader.h"

#include <algorithm>
#include <cstring>

#include "disc/cdrom_toc.h"

namespace korvi {

namespace {

int32_t FloorDiv(int32_t value, int32_t by) { return value >= 0 ? value / by : -((-value + by - 1) / by); }

}  // namespace

OffsetSectorSource::OffsetSectorSource(ISectorSource& inner, int32_t offsetSamples, int32_t first,
                                       int32_t last)
    : m_inner(inner),
      m_sectorShift(FloorDiv(offsetSamples, kSamplesPerSector)),
      m_byteShift(size_t(offsetSamples - m_sectorShift * kSamplesPerSector) * 4),
      m_first(first),
      m_last(last),
      m_carry(kRawSectorBytes) {}

bool OffsetSectorSource::ReadRawSectors(int32_t start, uint8_t* buffer, int32_t count) {
  ReadQuality ignored;
  return ReadSectors(start, buffer, count, ignored);
}

bool OffsetSectorSource::ReadSectors(int32_t start, uint8_t* buffer, int32_t count, ReadQuality& quality) {
  if (count <= 0) return false;
  // The drive's sectors that hold the samples asked for: one more when the shift splits sectors.
  const int32_t low = start + m_sectorShift;
  const int32_t high = low + count - 1 + (m_byteShift > 0 ? 1 : 0);
  m_window.assign(size_t(high - low + 1) * kRawSectorBytes, 0);
  const int32_t readFrom = std::max(low, m_first);
  const int32_t readTo = std::min(high, m_last);
  ReadQuality inner;
  if (readFrom <= readTo) {
    uint8_t* at = m_window.data() + size_t(readFrom - low) * kRawSectorBytes;
    int32_t first = readFrom;
    if (first == m_carried) {
      std::memcpy(at, m_carry.data(), kRawSectorBytes);
      at += kRawSectorBytes;
      ++first;
    }
    if (first <= readTo && !m_inner.ReadSectors(first, at, readTo - first + 1, inner)) {
      m_carried = INT32_MIN;
      return false;
    }
    m_carried = readTo;
    std::memcpy(m_carry.data(), m_window.data() + size_t(readTo - low) * kRawSectorBytes, kRawSectorBytes);
  }
  std::memcpy(buffer, m_window.data() + m_byteShift, size_t(count) * kRawSectorBytes);

  // Positions come back in the disc's samples.
  const int64_t shift = int64_t(m_sectorShift) * kSamplesPerSector + int64_t(m_byteShift / 4);
  for (int64_t& sample : inner.unreadable) sample -= shift;
  const int64_t wantFrom = int64_t(start) * kSamplesPerSector + shift;
  const int64_t wantTo = wantFrom + int64_t(count) * kSamplesPerSector;
  const int64_t reachFrom = int64_t(m_first) * kSamplesPerSector;
  const int64_t reachTo = (int64_t(m_last) + 1) * kSamplesPerSector;
  const int64_t reached = std::max<int64_t>(0, std::min(wantTo, reachTo) - std::max(wantFrom, reachFrom));
  inner.outOfReach += int32_t(wantTo - wantFrom - reached);
  quality.Merge(inner);
  return true;
}

void OffsetSectorSource::ForgetReads(int32_t near) {
  m_carried = INT32_MIN;
  m_inner.ForgetReads(near + m_sectorShift);
}

}  // namespace korvi
