#include "verify/accuraterip_checksum.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "disc/cdrom_toc.h"

namespace korvi {
namespace {

constexpr size_t kSampleBytes = 4;
constexpr uint32_t kSamplesPerSector = kRawSectorBytes / kSampleBytes;
constexpr uint32_t kEdgeSamples = 5 * kSamplesPerSector;

uint32_t SampleAt(const uint8_t* bytes) {
  uint32_t word;
  std::memcpy(&word, bytes, sizeof word);
  if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap32(word);
  return word;
}

}  // namespace

AccurateRipChecksum::AccurateRipChecksum(bool firstTrack, bool lastTrack)
    : m_lastTrack(lastTrack), m_firstCounted(firstTrack ? kEdgeSamples : 1) {
  if (lastTrack) m_held.reserve((kEdgeSamples + 26 * kSamplesPerSector) * kSampleBytes);
}

void AccurateRipChecksum::Feed(const uint8_t* data, size_t size) {
  if (size == 0) return;
  if (m_partialBytes > 0) {
    const size_t take = std::min(size, kSampleBytes - m_partialBytes);
    std::memcpy(m_partial + m_partialBytes, data, take);
    m_partialBytes += take;
    data += take;
    size -= take;
    if (m_partialBytes < kSampleBytes) return;
    m_partialBytes = 0;
    Take(m_partial, 1);
  }
  Take(data, size / kSampleBytes);
  m_partialBytes = size % kSampleBytes;
  std::memcpy(m_partial, data + size - m_partialBytes, m_partialBytes);
}

void AccurateRipChecksum::Take(const uint8_t* samples, size_t count) {
  if (!m_lastTrack) return Add(samples, count);
  // Whatever may still turn out to be the last five sectors waits; the rest counts now.
  const size_t held = m_held.size() / kSampleBytes;
  const size_t total = held + count;
  if (total > kEdgeSamples) {
    const size_t release = total - kEdgeSamples;
    const size_t fromHeld = std::min(release, held);
    Add(m_held.data(), fromHeld);
    Add(samples, release - fromHeld);
    m_held.erase(m_held.begin(), m_held.begin() + fromHeld * kSampleBytes);
    samples += (release - fromHeld) * kSampleBytes;
    count -= release - fromHeld;
  }
  m_held.insert(m_held.end(), samples, samples + count * kSampleBytes);
}

void AccurateRipChecksum::Add(const uint8_t* samples, size_t count) {
  if (m_next < m_firstCounted) {
    const size_t skip = std::min<size_t>(count, m_firstCounted - m_next);
    samples += skip * kSampleBytes;
    count -= skip;
    m_next += static_cast<uint32_t>(skip);
  }
  uint32_t v1 = m_v1;
  uint32_t high = m_high;
  uint64_t position = m_next;
  for (size_t i = 0; i < count; ++i, ++position) {
    const uint64_t product = position * SampleAt(samples + i * kSampleBytes);
    v1 += static_cast<uint32_t>(product);
    high += static_cast<uint32_t>(product >> 32);
  }
  m_v1 = v1;
  m_high = high;
  m_next = static_cast<uint32_t>(position);
}

}  // namespace korvi
