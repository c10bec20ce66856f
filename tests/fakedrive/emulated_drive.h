#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "disc/cdrom_toc.h"
#include "fakedrive/drive_config.h"

namespace korvi {
class CdDevice;
}

namespace korvi::fakedrive {

// Sense data as a drive returns it with CHECK CONDITION: key, additional code and qualifier.
struct Sense {
  uint8_t key = 0;
  uint8_t asc = 0;
  uint8_t ascq = 0;
};

// One drive: its disc (an image opened on first use), its tray and the faults it was given. The
// MMC commands and the kernel's CD-ROM calls are answered elsewhere from what this says.
class EmulatedDrive {
 public:
  explicit EmulatedDrive(DriveConfig config);
  ~EmulatedDrive();

  const DriveConfig& Config() const { return m_config; }
  std::mutex& Mutex() { return m_mutex; }

  bool TrayOpen() const { return m_trayOpen; }
  bool HasDisc() const { return !m_noDisc; }
  // Closing the tray on a disc changes the medium, as the kernel reports it.
  void SetTrayOpen(bool open);
  // Whether the disc changed since the last asking (a tray closed on it).
  bool TakeMediaChanged();

  // The disc's table of contents; null with *sense set (no disc, tray open, unreadable image).
  const DiscToc* Toc(Sense* sense);
  int32_t LeadOut() const;
  // Audio as this drive delivers it: shifted by its read offset, zeros beyond the disc, a medium
  // error where the disc was given one, other bytes at every read of a flaky sector, and from the
  // cache what it returned before unless the read forces unit access (FUA).
  bool ReadSectors(int32_t start, int32_t count, uint8_t* out, Sense* sense, bool forceUnitAccess = false);
  void Wait() const;
  // Whether a read of these sectors (without FUA) comes whole from the cache, sparing the wait.
  bool CacheHolds(int32_t start, int32_t count) const;

 private:
  bool ReadShifted(int64_t byteStart, size_t length, uint8_t* out);
  void Damage(int32_t sector, uint8_t* bytes);
  void PassThroughCache(int32_t sector, uint8_t* bytes, bool forceUnitAccess);

  DriveConfig m_config;
  std::mutex m_mutex;
  std::unique_ptr<CdDevice> m_image;
  DiscToc m_toc;
  bool m_tocRead = false;
  bool m_trayOpen = false;
  bool m_noDisc = false;
  bool m_mediaChanged = false;
  uint32_t m_reads = 0;
  std::map<int32_t, std::vector<uint8_t>> m_cache;
  std::deque<int32_t> m_cacheOrder;  // oldest first
};

}  // namespace korvi::fakedrive
