#pragma once

#include <atomic>
#include <chrono>
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
  // UNIT ATTENTION (6/28/00), once, for the first command after the disc changed.
  bool TakeUnitAttention(Sense* sense);
  // A descriptor opened: the kernel's own look at the drive on open takes any unit attention.
  void Opened();
  // Sets the tray and the disc from the state file when its content changed since the last look.
  void FollowStateFile();
  // The disc's CD-Text as READ TOC format 5 returns its packs; empty without any.
  const std::vector<uint8_t>& CdTextPacks() const { return m_cdText; }

  // The disc's table of contents; null with *sense set (no disc, tray open, unreadable image).
  const DiscToc* Toc(Sense* sense);
  int32_t LeadOut() const;
  // Audio as this drive delivers it: shifted by its read offset (and by a few samples more where
  // it jitters), zeros beyond the disc, a medium error where the disc was given one, other bytes at
  // every read of a flaky sector, and from the cache what it returned before unless the read
  // forces unit access (FUA). With c2Bits (kC2BitsBytes a sector), the C2 error pointers: a bit
  // for every byte it damaged where the drive reports them, none where it cannot. Never faster
  // than its speed allows.
  bool ReadSectors(int32_t start, int32_t count, uint8_t* out, Sense* sense, bool forceUnitAccess = false,
                   uint8_t* c2Bits = nullptr);
  // A command's overhead, spent before it is answered.
  void Wait();
  // Whether a read of these sectors (without FUA) comes whole from the cache, sparing the wait.
  bool CacheHolds(int32_t start, int32_t count) const;

  // The read speed in times real time, 0 for as fast as it can. Selecting 0, or more than the
  // drive's maximum, gives the maximum back.
  double Speed() const { return m_speed; }
  void SelectSpeed(double timesRealTime);

  // What the drive was asked since it was made: commands and kernel calls, sectors read.
  uint64_t Commands() const { return m_commands; }
  uint64_t SectorsRead() const { return m_sectorsRead; }

  static constexpr int kC2BitsBytes = 294;

 private:
  bool ReadShifted(int64_t byteStart, size_t length, uint8_t* out);
  int32_t JitterSamples(int32_t start, int32_t count);
  void Damage(int32_t sector, uint8_t* bytes, uint8_t* c2Bits);
  void PassThroughCache(int32_t sector, uint8_t* bytes, uint8_t* c2Bits, bool forceUnitAccess);
  void Pace(std::chrono::steady_clock::time_point begun, int32_t count) const;
  // Another disc (or the same again) in the closed tray, as the host sees a change.
  void ChangeDisc(const std::string& image);
  // Whether the read of count sectors is the one after which a timed event (open_after,
  // change_after) happens; each happens once.
  bool Due(int32_t after, int32_t count, bool& happened) const;

  DriveConfig m_config;
  std::mutex m_mutex;
  std::unique_ptr<CdDevice> m_image;
  DiscToc m_toc;
  bool m_tocRead = false;
  bool m_trayOpen = false;
  bool m_noDisc = false;
  bool m_mediaChanged = false;
  bool m_unitAttention = false;
  uint32_t m_reads = 0;
  uint32_t m_jitteredReads = 0;
  int32_t m_nextSector = -1;  // where the last read ended
  int32_t m_jitter = 0;       // how far the drive landed off at its last seek, in samples
  double m_speed = 0;
  std::atomic<uint64_t> m_commands{0};
  std::atomic<uint64_t> m_sectorsRead{0};
  int64_t m_sectorsDelivered = 0;  // for open_after and change_after
  bool m_opened = false;
  bool m_changed = false;
  std::string m_state;  // the state file's content as last applied
  std::vector<uint8_t> m_cdText;
  std::map<int32_t, std::vector<uint8_t>> m_cache;  // each sector's bytes, then its C2 bits
  std::deque<int32_t> m_cacheOrder;  // oldest first
};

}  // namespace korvi::fakedrive
