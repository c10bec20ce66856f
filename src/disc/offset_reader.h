#pragma once
// Read-offset correction: a drive delivers the disc's samples shifted by its read offset, and this
// source shifts them back, across sector and track boundaries. With a correction of +N, sample s
// of the disc is the drive's sample s + N. Samples the drive cannot reach (before sector 0, or before
// the first audio track where a data track comes first, and past the last audio sector) become
// silence and are counted.

#include <climits>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "disc/sector_source.h"

namespace korvi {

constexpr int32_t kSamplesPerSector = 588;
// The corrections the settings and korvi-cli take, in samples.
constexpr int32_t kMaxReadOffset = 3000;

class OffsetSectorSource : public ISectorSource {
 public:
  // first and last: the sectors the drive can read, inclusive.
  OffsetSectorSource(ISectorSource& inner, int32_t offsetSamples, int32_t first, int32_t last);

  bool ReadRawSectors(int32_t start, uint8_t* buffer, int32_t count) override;
  bool ReadSectors(int32_t start, uint8_t* buffer, int32_t count, ReadQuality& quality) override;
  void ForgetReads(int32_t near) override;

 private:
  ISectorSource& m_inner;
  int32_t m_sectorShift;  // whole sectors of the offset, rounded down
  size_t m_byteShift;     // and the bytes of the rest
  int32_t m_first;
  int32_t m_last;
  // The last sector read from the drive: a shifted read needs one sector more than it delivers,
  // and the next read begins with it.
  int32_t m_carried = INT32_MIN;
  std::vector<uint8_t> m_carry;
  std::vector<uint8_t> m_window;
};

}  // namespace korvi
