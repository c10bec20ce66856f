#include "verify/track_sums.h"

#include <zlib.h>

#include <algorithm>
#include <cstdlib>

namespace korvi {
namespace {

int32_t Magnitude(uint8_t low, uint8_t high) {
  return std::abs(static_cast<int32_t>(static_cast<int16_t>(uint16_t(low) | uint16_t(high) << 8)));
}

}  // namespace

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
  size_t at = 0;
  int32_t peak = m_peak;
  if (m_hasOddByte) {
    peak = std::max(peak, Magnitude(m_oddByte, data[0]));
    at = 1;
    m_hasOddByte = false;
  }
  for (; at + 1 < size; at += 2) peak = std::max(peak, Magnitude(data[at], data[at + 1]));
  if (at < size) {
    m_oddByte = data[at];
    m_hasOddByte = true;
  }
  m_peak = peak;
}

}  // namespace korvi
