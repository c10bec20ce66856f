#include "fakedrive/emulated_drive.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "disc/cd_device.h"

namespace korvi::fakedrive {
namespace {

constexpr Sense kNotReadyTrayOpen{0x02, 0x3A, 0x02};
constexpr Sense kNotReadyNoDisc{0x02, 0x3A, 0x01};
constexpr Sense kUnrecoveredReadError{0x03, 0x11, 0x00};
constexpr Sense kOutOfRange{0x05, 0x21, 0x00};

}  // namespace

EmulatedDrive::EmulatedDrive(DriveConfig config)
    : m_config(std::move(config)), m_trayOpen(m_config.trayOpen), m_noDisc(m_config.noDisc) {}

EmulatedDrive::~EmulatedDrive() = default;

void EmulatedDrive::SetTrayOpen(bool open) {
  if (m_trayOpen && !open && !m_noDisc) m_mediaChanged = true;
  m_trayOpen = open;
}

bool EmulatedDrive::TakeMediaChanged() { return std::exchange(m_mediaChanged, false); }

void EmulatedDrive::Wait() const {
  if (m_config.latencyMs > 0) usleep(useconds_t(m_config.latencyMs) * 1000);
}

bool EmulatedDrive::CacheHolds(int32_t start, int32_t count) const {
  if (m_config.cacheSectors == 0 || count < 1) return false;
  for (int32_t i = 0; i < count; ++i)
    if (m_cache.find(start + i) == m_cache.end()) return false;
  return true;
}

const DiscToc* EmulatedDrive::Toc(Sense* sense) {
  if (m_trayOpen || m_noDisc) {
    *sense = m_trayOpen ? kNotReadyTrayOpen : kNotReadyNoDisc;
    return nullptr;
  }
  if (!m_tocRead) {
    std::string error;
    m_image = CdDevice::Open(m_config.image, &error);
    if (!m_image || !m_image->ReadToc(m_toc)) {
      std::fprintf(stderr, "emulated drive %s: %s\n", m_config.device.c_str(),
                   m_image ? m_image->lastError().c_str() : error.c_str());
      m_image.reset();
      *sense = kNotReadyNoDisc;
      return nullptr;
    }
    m_tocRead = true;
  }
  return &m_toc;
}

int32_t EmulatedDrive::LeadOut() const {
  const CDROM_TOC& toc = m_toc.toc;
  return SectorFromMsf(toc.TrackData[TocTrackCount(toc)].Address);
}

bool EmulatedDrive::ReadShifted(int64_t byteStart, size_t length, uint8_t* out) {
  std::memset(out, 0, length);
  const int64_t discBytes = int64_t(LeadOut()) * kRawSectorBytes;
  const int64_t from = std::max<int64_t>(byteStart, 0);
  const int64_t to = std::min<int64_t>(byteStart + int64_t(length), discBytes);
  if (from >= to) return true;
  const auto first = int32_t(from / kRawSectorBytes);
  const auto last = int32_t((to - 1) / kRawSectorBytes);
  std::vector<uint8_t> sectors(size_t(last - first + 1) * kRawSectorBytes);
  if (!m_image->ReadRawSectors(first, sectors.data(), last - first + 1)) return false;
  std::memcpy(out + (from - byteStart), sectors.data() + (from - int64_t(first) * kRawSectorBytes),
              size_t(to - from));
  return true;
}

void EmulatedDrive::Damage(int32_t sector, uint8_t* bytes) {
  for (const SectorRange& range : m_config.flaky) {
    if (sector < range.first || sector > range.last) continue;
    // A different handful of samples every read, never the same twice running.
    const uint32_t read = ++m_reads;
    for (uint32_t i = 0; i < 8; ++i) bytes[(read * 97 + i * 291) % kRawSectorBytes] ^= uint8_t((0x5A + read) | 1);
  }
}

void EmulatedDrive::PassThroughCache(int32_t sector, uint8_t* bytes, bool forceUnitAccess) {
  if (m_config.cacheSectors == 0) return;
  const auto held = m_cache.find(sector);
  if (held != m_cache.end() && !forceUnitAccess) {
    std::memcpy(bytes, held->second.data(), kRawSectorBytes);
    return;
  }
  if (held == m_cache.end()) m_cacheOrder.push_back(sector);
  m_cache[sector].assign(bytes, bytes + kRawSectorBytes);
  // Reads elsewhere push the oldest sectors out.
  while (m_cacheOrder.size() > size_t(m_config.cacheSectors)) {
    m_cache.erase(m_cacheOrder.front());
    m_cacheOrder.pop_front();
  }
}

bool EmulatedDrive::ReadSectors(int32_t start, int32_t count, uint8_t* out, Sense* sense, bool forceUnitAccess) {
  if (!Toc(sense)) return false;
  // The drive reads where its offset puts the sectors asked for: the lead-in and the lead-out are
  // out of range only where none of the disc's audio lies in them.
  const int64_t shift = int64_t(m_config.offsetSamples) * 4;
  const int64_t discBytes = int64_t(LeadOut()) * kRawSectorBytes;
  if (count < 1 || start < -kLeadInSectors || int64_t(start + 1) * kRawSectorBytes - shift <= 0 ||
      int64_t(start + count - 1) * kRawSectorBytes - shift >= discBytes) {
    *sense = kOutOfRange;
    return false;
  }
  for (const SectorRange& range : m_config.bad) {
    if (range.Touches(start, count)) {
      *sense = kUnrecoveredReadError;
      return false;
    }
  }
  // A drive whose offset needs a correction of +N hands back, for a sector, the audio that begins N
  // samples before it.
  const int64_t byteStart = int64_t(start) * kRawSectorBytes - shift;
  if (!ReadShifted(byteStart, size_t(count) * kRawSectorBytes, out)) {
    *sense = kUnrecoveredReadError;
    return false;
  }
  for (int32_t i = 0; i < count; ++i) {
    Damage(start + i, out + size_t(i) * kRawSectorBytes);
    PassThroughCache(start + i, out + size_t(i) * kRawSectorBytes, forceUnitAccess);
  }
  return true;
}

}  // namespace korvi::fakedrive
