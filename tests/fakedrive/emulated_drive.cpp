#include "fakedrive/emulated_drive.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <thread>
#include <fstream>
#include <iterator>
#include <utility>
#include <vector>

#include "disc/cd_device.h"
#include "fakedrive/cd_text_packs.h"

namespace korvi::fakedrive {
namespace {

constexpr Sense kNotReadyTrayOpen{0x02, 0x3A, 0x02};
constexpr Sense kNotReadyNoDisc{0x02, 0x3A, 0x01};
constexpr Sense kUnrecoveredReadError{0x03, 0x11, 0x00};
constexpr Sense kOutOfRange{0x05, 0x21, 0x00};
constexpr double kSectorsPerSecond = 75;
constexpr int kC2Bits = EmulatedDrive::kC2BitsBytes;
constexpr Sense kMediumChanged{0x06, 0x28, 0x00};

}  // namespace

EmulatedDrive::EmulatedDrive(DriveConfig config)
    : m_config(std::move(config)),
      m_trayOpen(m_config.trayOpen),
      m_noDisc(m_config.noDisc),
      m_speed(m_config.speed) {}

EmulatedDrive::~EmulatedDrive() = default;

void EmulatedDrive::SetTrayOpen(bool open) {
  if (m_trayOpen && !open && !m_noDisc) m_mediaChanged = m_unitAttention = true;
  m_trayOpen = open;
}

bool EmulatedDrive::TakeMediaChanged() { return std::exchange(m_mediaChanged, false); }

void EmulatedDrive::Wait() {
  ++m_commands;
  if (m_config.latencyUs > 0) usleep(useconds_t(m_config.latencyUs));
}

void EmulatedDrive::SelectSpeed(double timesRealTime) {
  const double most = m_config.speed;
  m_speed = timesRealTime <= 0 || (most > 0 && timesRealTime > most) ? most : timesRealTime;
}

// A read takes at least as long as the disc needs to pass under the head at the current speed,
// counted from the read's start, so that the time spent answering it is part of it.
void EmulatedDrive::Pace(std::chrono::steady_clock::time_point begun, int32_t count) const {
  if (m_speed <= 0) return;
  const std::chrono::duration<double> modelled(double(count) / (kSectorsPerSecond * m_speed));
  std::this_thread::sleep_until(begun + std::chrono::duration_cast<std::chrono::nanoseconds>(modelled));
}

bool EmulatedDrive::CacheHolds(int32_t start, int32_t count) const {
  if (m_config.cacheSectors == 0 || count < 1) return false;
  for (int32_t i = 0; i < count; ++i)
    if (m_cache.find(start + i) == m_cache.end()) return false;
  return true;
}

bool EmulatedDrive::TakeUnitAttention(Sense* sense) {
  if (!std::exchange(m_unitAttention, false)) return false;
  *sense = kMediumChanged;
  return true;
}

void EmulatedDrive::Opened() {
  std::lock_guard lock(m_mutex);
  FollowStateFile();
  m_unitAttention = false;
}

void EmulatedDrive::ChangeDisc(const std::string& image) {
  m_config.image = image;
  m_image.reset();
  m_tocRead = false;
  m_cache.clear();
  m_cacheOrder.clear();
  m_trayOpen = m_noDisc = false;
  m_mediaChanged = m_unitAttention = true;
}

void EmulatedDrive::FollowStateFile() {
  if (m_config.stateFile.empty()) return;
  std::ifstream in(m_config.stateFile);
  std::string state((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  while (!state.empty() && (state.back() == '\n' || state.back() == ' ')) state.pop_back();
  if (!in || state == m_state) return;
  m_state = state;
  if (state == "open") {
    SetTrayOpen(true);
  } else if (state == "closed") {
    SetTrayOpen(false);
  } else if (state == "nodisc") {
    if (!m_noDisc) m_mediaChanged = true;
    m_trayOpen = false;
    m_noDisc = true;
  } else if (state.starts_with("disc=")) {
    ChangeDisc(state.substr(5));
  } else {
    std::fprintf(stderr, "emulated drive %s: unknown state '%s' in %s\n", m_config.device.c_str(), state.c_str(),
                 m_config.stateFile.c_str());
  }
}

bool EmulatedDrive::Due(int32_t after, int32_t count, bool& happened) const {
  if (after < 0 || happened || m_sectorsDelivered + count <= after) return false;
  return happened = true;
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
    m_cdText = fakedrive::CdTextPacks(m_toc.text, m_toc.toc.FirstTrack, m_toc.toc.LastTrack);
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

// A drive that does not stream accurately lands a few samples early or late when it seeks, a
// different amount each time, and streams on from there while reads follow each other.
int32_t EmulatedDrive::JitterSamples(int32_t start, int32_t count) {
  static constexpr int32_t kShifts[] = {3, -5, 8, -2, 12, -9, 1, -12, 6, -1};
  const bool seek = start != m_nextSector;
  m_nextSector = start + count;
  if (!seek) return m_jitter;
  m_jitter = 0;
  for (const SectorRange& range : m_config.jitter) {
    if (start >= range.first && start <= range.last)
      m_jitter = kShifts[m_jitteredReads++ % (sizeof kShifts / sizeof kShifts[0])];
  }
  return m_jitter;
}

void EmulatedDrive::Damage(int32_t sector, uint8_t* bytes, uint8_t* c2Bits) {
  for (const SectorRange& range : m_config.flaky) {
    if (sector < range.first || sector > range.last) continue;
    // A different handful of samples every read, never the same twice running; each damaged byte
    // has its C2 bit, the first byte's the highest bit of the first.
    const uint32_t read = ++m_reads;
    for (uint32_t i = 0; i < 8; ++i) {
      const uint32_t at = (read * 97 + i * 291) % kRawSectorBytes;
      bytes[at] ^= uint8_t((0x5A + read) | 1);
      c2Bits[at / 8] |= uint8_t(0x80 >> (at % 8));
    }
  }
}

void EmulatedDrive::PassThroughCache(int32_t sector, uint8_t* bytes, uint8_t* c2Bits, bool forceUnitAccess) {
  if (m_config.cacheSectors == 0) return;
  const auto held = m_cache.find(sector);
  if (held != m_cache.end() && !forceUnitAccess) {
    std::memcpy(bytes, held->second.data(), kRawSectorBytes);
    std::memcpy(c2Bits, held->second.data() + kRawSectorBytes, kC2Bits);
    return;
  }
  if (held == m_cache.end()) m_cacheOrder.push_back(sector);
  std::vector<uint8_t>& entry = m_cache[sector];
  entry.assign(bytes, bytes + kRawSectorBytes);
  entry.insert(entry.end(), c2Bits, c2Bits + kC2Bits);
  // Reads elsewhere push the oldest sectors out.
  while (m_cacheOrder.size() > size_t(m_config.cacheSectors)) {
    m_cache.erase(m_cacheOrder.front());
    m_cacheOrder.pop_front();
  }
}

bool EmulatedDrive::ReadSectors(int32_t start, int32_t count, uint8_t* out, Sense* sense, bool forceUnitAccess,
                                uint8_t* c2Bits) {
  const auto begun = std::chrono::steady_clock::now();
  if (!Toc(sense)) return false;
  if (Due(m_config.openAfter, count, m_opened)) {
    m_trayOpen = true;
    *sense = kNotReadyTrayOpen;
    return false;
  }
  if (Due(m_config.changeAfter, count, m_changed)) {
    // The read that meets the change is the command that reports it.
    ChangeDisc(m_config.changeTo.empty() ? m_config.image : m_config.changeTo);
    m_unitAttention = false;
    *sense = kMediumChanged;
    return false;
  }
  // The drive reads where its offset puts the sectors asked for: the lead-in and the lead-out are
  // out of range only where none of the disc's audio lies in them.
  const int64_t shift = int64_t(m_config.offsetSamples) * 4;
  const int64_t discBytes = int64_t(LeadOut()) * kRawSectorBytes;
  if (count < 1 || start < -kLeadInSectors || int64_t(start + 1) * kRawSectorBytes - shift <= 0 ||
      int64_t(start + count - 1) * kRawSectorBytes - shift >= discBytes) {
    *sense = kOutOfRange;
    return false;
  }
  m_sectorsRead += uint64_t(count);
  for (const SectorRange& range : m_config.bad) {
    if (range.Touches(start, count)) {
      Pace(begun, count);
      *sense = kUnrecoveredReadError;
      return false;
    }
  }
  // A drive whose offset needs a correction of +N hands back, for a sector, the audio that begins N
  // samples before it.
  const int64_t byteStart = int64_t(start) * kRawSectorBytes - shift - int64_t(JitterSamples(start, count)) * 4;
  if (!ReadShifted(byteStart, size_t(count) * kRawSectorBytes, out)) {
    *sense = kUnrecoveredReadError;
    return false;
  }
  std::vector<uint8_t> bits(size_t(count) * kC2Bits, 0);
  for (int32_t i = 0; i < count; ++i) {
    uint8_t* const sectorBits = bits.data() + size_t(i) * kC2Bits;
    Damage(start + i, out + size_t(i) * kRawSectorBytes, sectorBits);
    PassThroughCache(start + i, out + size_t(i) * kRawSectorBytes, sectorBits, forceUnitAccess);
  }
  // A drive without C2 reporting knows no more of the damage than the host does.
  if (c2Bits && m_config.c2) std::memcpy(c2Bits, bits.data(), bits.size());
  if (c2Bits && !m_config.c2) std::memset(c2Bits, 0, bits.size());
  m_sectorsDelivered += count;
  Pace(begun, count);
  return true;
}

}  // namespace korvi::fakedrive
