// What a rip asks of a drive beyond plain reads: its cache defeated, C2 error pointers, its speed,
// its tray.

#include <cdio/cdio.h>
#include <cdio/mmc.h>
#include <cdio/mmc_hl_cmds.h>
#include <cdio/mmc_ll_cmds.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "disc/cd_device.h"
#include "disc/offset_reader.h"

namespace korvi {
namespace {

constexpr size_t kC2Bytes = 294;  // a bit for each of a sector's 2352 bytes
// Reads of a sector its C2 pointers mark, after the first, before it counts as unreadable.
constexpr int kC2Retries = 3;

}  // namespace

void CdDevice::SetRipReads(const CacheDefeat& defeat, bool c2) {
  const bool drive = !isImage();
  m_fua.store(drive && defeat.fua);
  m_cacheSectors.store(drive ? std::max(0, defeat.cacheSectors) : 0);
  m_noCache.store(drive && defeat.noCache && !defeat.fua && defeat.cacheSectors <= 0);
  m_c2.store(drive && c2);
}

bool CdDevice::ReadFua(int32_t start, uint8_t* buffer, int32_t count) {
  if (count < 1 || start < 0) return false;
  const auto s = uint32_t(start);
  const auto n = uint32_t(count);
  const uint8_t read12[12] = {0xA8,          0x08, uint8_t(s >> 24), uint8_t(s >> 16), uint8_t(s >> 8), uint8_t(s),
                              uint8_t(n >> 24), uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n), 0, 0};
  return RunMmcRead(read12, sizeof read12, buffer, size_t(count) * kRawSectorBytes);
}

bool CdDevice::ReadWithC2(int32_t start, uint8_t* buffer, int32_t count, std::vector<bool>& marked) {
  const size_t stride = kRawSectorBytes + kC2Bytes;
  std::vector<uint8_t> reply(size_t(count) * stride);
  const auto s = uint32_t(start);
  const auto n = uint32_t(count);
  // Any sector type; sync, header, user data and EDC (all 2352 bytes of audio), then C2 pointers.
  const uint8_t readCd[12] = {0xBE, 0, uint8_t(s >> 24), uint8_t(s >> 16), uint8_t(s >> 8), uint8_t(s),
                              uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n), 0xFA, 0, 0};
  if (!RunMmcRead(readCd, sizeof readCd, reply.data(), reply.size())) return false;
  marked.assign(size_t(count), false);
  for (size_t i = 0; i < size_t(count); ++i) {
    const uint8_t* sector = reply.data() + i * stride;
    std::memcpy(buffer + i * kRawSectorBytes, sector, kRawSectorBytes);
    const uint8_t* bits = sector + kRawSectorBytes;
    marked[i] = std::any_of(bits, bits + kC2Bytes, [](uint8_t byte) { return byte != 0; });
  }
  return true;
}

bool CdDevice::ReadSectors(int32_t start, uint8_t* buffer, int32_t count, ReadQuality& quality) {
  if (!m_c2.load() || start < 0 || count < 1) return ReadRawSectors(start, buffer, count);
  std::vector<bool> marked;
  if (!ReadWithC2(start, buffer, count, marked)) {
    std::lock_guard lock(m_mutex);
    return Fail("cannot read sector " + std::to_string(start) + " (" + std::to_string(count) +
                " sectors) of " + m_name);
  }
  for (int32_t i = 0; i < count; ++i) {
    if (!marked[size_t(i)]) continue;
    uint8_t* sector = buffer + size_t(i) * kRawSectorBytes;
    std::vector<bool> again;
    for (int retry = 0; retry < kC2Retries && marked[size_t(i)]; ++retry) {
      // Read apart from the cache, which would give the marked bytes back.
      ForgetReads(start + i);
      if (ReadWithC2(start + i, sector, 1, again)) marked[size_t(i)] = again[0];
    }
    if (!marked[size_t(i)]) continue;
    quality.c2Sectors.push_back(start + i);
    quality.unreadable.push_back(int64_t(start + i) * kSamplesPerSector);
  }
  return true;
}

bool CdDevice::SetReadSpeed(int32_t timesRealTime) {
  if (isImage() || timesRealTime < 0) return false;
  // In kB/s, 1x being 176.4; all ones asks for the fastest.
  const int kBytes = timesRealTime == 0 ? 0xFFFF : (timesRealTime * 1764 + 9) / 10;
  std::lock_guard lock(m_mutex);
  constexpr unsigned kTimeoutMs = 10000;
  return mmc_set_speed(m_cdio, kBytes, kTimeoutMs) >= 0;
}

bool CdDevice::Eject() {
  if (isImage()) return false;
  std::lock_guard lock(m_mutex);
  // By command on this handle: the kernel's eject call refuses a drive another program holds open.
  return mmc_eject_media(m_cdio) == DRIVER_OP_SUCCESS;
}

}  // namespace korvi
