#pragma once
// A CD drive or disc image opened through libcdio: table of contents, raw audio sectors and the
// audio-track question, in logical sectors (libcdio's LSN) and 2352-byte sectors.

#include <cstdint>
#include <functional>
#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "disc/cdrom_toc.h"
#include "disc/sector_source.h"

typedef struct _CdIo CdIo_t;

namespace korvi {

class CueImage;

// How the reads a rip compares with each other reach the disc rather than the drive's cache.
struct CacheDefeat {
  bool fua = false;          // every read forces unit access (READ(12) with FUA)
  int32_t cacheSectors = 0;  // else what a read elsewhere must push out, as measured; 0 if none found
  // Measured, and no cache found: a re-read reaches the disc anyway, and reads elsewhere would
  // only cost seeks (and, on a drive that lands off after a seek, misplaced reads).
  bool noCache = false;
};
// What a drive says of its disc when asked.
enum class DriveState { kReady, kNoDisc, kTrayOpen, kChanged, kUnknown };

class CdDevice : public ISectorSource {
 public:
  // Opens a device path (/dev/sr0) or an image (.cue, .toc, .nrg). Null when it cannot be opened;
  // the cause is in *error then. Drives, .toc and .nrg images are read through libcdio; a cue
  // sheet by our own reader, over any of the files it may name.
  static std::unique_ptr<CdDevice> Open(const std::string& driveName, std::string* error = nullptr);
  ~CdDevice();
  CdDevice(const CdDevice&) = delete;
  CdDevice& operator=(const CdDevice&) = delete;

  const std::string& name() const { return m_name; }
  bool isImage() const;

  // Fills the record; false for a disc without a usable table of contents (the cause in
  // lastError()).
  bool ReadToc(DiscToc& out);

  // count sectors from logical sector start into buffer (count × 2352 bytes). Any thread; reads
  // of one device take turns.
  bool ReadRawSectors(int32_t start, uint8_t* buffer, int32_t count) override;
  // Reads a batch far from near, so that the drive's read-ahead cache holds other sectors and the
  // next read near there comes from the disc. An image has no cache, but is read the same way (one
  // small read): a test's image that misreads as a drive does then sees what a drive would.
  // With a measured cache (SetRipReads) it reads more than the cache holds; with none found, nothing.
  void ForgetReads(int32_t near) override;

  // For a rip: how its reads get past the cache, and whether they ask for C2 error pointers (READ
  // CD), until set again. A drive only; an image ignores it.
  void SetRipReads(const CacheDefeat& defeat, bool c2);
  // ReadRawSectors; with C2 pointers asked for, a sector they mark is read again a few times, and
  // one still marked is added to quality as unreadable.
  bool ReadSectors(int32_t start, uint8_t* buffer, int32_t count, ReadQuality& quality) override;
  // The read speed in times real time (1x: 75 sectors a second), 0 for the drive's fastest. False
  // for an image or a drive that refuses it.
  bool SetReadSpeed(int32_t timesRealTime);
  // Opens the tray; false for an image or a drive that refuses.
  bool Eject();
  // count sectors from start by READ(12) with Force Unit Access, 2352 bytes each; false for an
  // image or a drive that refuses it.
  bool ReadFua(int32_t start, uint8_t* buffer, int32_t count);

  // Fills the catalog number (MCN) and the tracks' ISRCs that text lacks from the disc's
  // subchannel, where the drive reports them. Slow on a drive (it scans for each code), so it is
  // asked for when a rip needs them, not with the table of contents.
  void ReadCodes(DiscText& text);

  // Sends one MMC command (at most 12 bytes) that reads dataBytes into data, taking its turn with
  // the other reads. False for an image, or when the drive refuses the command.
  bool RunMmcRead(const uint8_t* cdb, size_t cdbBytes, uint8_t* data, size_t dataBytes);
  // Asks the drive whether it is ready to read a disc (TEST UNIT READY), and if not, why: no disc,
  // the tray open, or another disc put in since it was last asked. An image is always ready.
  DriveState AskState();
  std::string MediumLost() const override;

  // Whether the n-th track (1-based, counted from the disc's first track) holds audio.
  bool IsAudioTrack(int n);

  const std::string& lastError() const { return m_lastError; }

 private:
  CdDevice(CdIo_t* cdio, std::string name);
  bool Fail(std::string message);
  static std::unique_ptr<CdDevice> OpenCueImage(const std::string& driveName, std::string* error);
  bool ReadCueToc(DiscToc& out);
  // Where the audio before an image's first data track ends, when the image gives that track a
  // pregap (pregapOf: its first logical sector, by track number).
  static std::optional<int32_t> ImageAudioEnd(const CDROM_TOC& toc,
                                              const std::function<std::optional<int32_t>(int)>& pregapOf);
  // count sectors by READ CD with C2 error pointers; marked[i] says whether sector start + i has any.
  bool ReadWithC2(int32_t start, uint8_t* buffer, int32_t count, std::vector<bool>& marked);
  // False when the bin of a cue/bin image no longer holds all of the sectors.
  bool ImageHoldsSectors(int32_t start, int32_t count);
  // Why the last command failed, where the drive's sense data says the disc went away.
  std::string LostCause();

  // libcdio keeps one read position per device (one stream for a cue/bin image): the player and
  // the rip job must never interleave a seek and a read.
  mutable std::mutex m_mutex;
  CdIo_t* m_cdio;  // null for a cue sheet, which is read by our own reader
  std::unique_ptr<CueImage> m_cue;
  std::string m_name;
  std::string m_lastError;
  int64_t m_imageBytes = -1;  // the bin's size when last looked at; -1 before
  // What SetRipReads chose; the player reads on meanwhile from its own thread.
  std::atomic<bool> m_fua{false};
  std::atomic<int32_t> m_cacheSectors{0};
  std::atomic<bool> m_noCache{false};
  std::atomic<bool> m_c2{false};
  std::string m_mediumLost;   // once a read found the disc gone
};

// The drives to offer: the real drives libcdio finds, then the images named in KORVI_CD_IMAGES
// (colon-separated paths). No device is opened to list them.
std::vector<std::string> EnumerateDrives();

}  // namespace korvi
