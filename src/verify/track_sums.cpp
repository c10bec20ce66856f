#include "verify/track_sums.h"

#include <zlib.h>

#include <algorithm>
#include <bit>
#include <cstring>

namespace korvi {

TrackSums::TrackSums(bool firstTrack, bool lastTrack)
    : m_accurateRip(firstTrack, lastTrack), m_crc(static_cast<uint32_t>(crc32(0, nullptr, 0))) {}

void TrackSums::Feed(const uint8_t* data, size_t size) {
  if (size == 0) return;
  m_accurateRip.Feed(data, size);
  for (size_t done = 0; done < size;) {
    // zlib takes at most 4 GiB a call.
    const size_t part = std::min<size_t>(size - done, 1u << 30);
    m_crc = static_cast<uint32_t>(crc32(m_crc, data + done, static_cast<uInt>(part)));
    done += part;
  }
  if (m_hasOddByte) {
    Take(static_cast<int16_t>(uint16_t(m_oddByte) | uint16_t(data[0]) << 8));
    ++data;
    --size;
    m_hasOddByte = false;
  }
  int16_t lowest = m_lowest;
  int16_t highest = m_highest;
  const size_t samples = size / 2;
  for (size_t i = 0; i < samples; ++i) {
    uint16_t bits;
    std::memcpy(&bits, data + 2 * i, sizeof bits);
    if constexpr (std::endian::native == std::endian::big)
      bits = static_cast<uint16_t>(bits << 8 | bits >> 8);
    const auto sample = static_cast<int16_t>(bits);
    lowest = std::min(lowest, sample);
    highest = std::max(highest, sample);
  }
  m_lowest = lowest;
  m_highest = highest;
  if (size % 2) {
    m_oddByte = data[size - 1];
    m_hasOddByte = true;
  }
}

void TrackSums::Take(int16_t sample) {
  m_lowest = std::min(m_lowest, sample);
  m_highest = std::max(m_highest, sample);
}

double TrackSums::PeakPercent() const {
  return 100.0 * std::max(-int32_t(m_lowest), int32_t(m_highest)) / 32768.0;
}

}  // namespace korvi
