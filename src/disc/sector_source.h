#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace korvi {

// What a reader learned while reading: how hard the medium was to read, and where it failed.
struct ReadQuality {
  int64_t sectorsRead = 0;  // from the medium, re-reads included; 0 when the reader does not count
  int32_t jitterFixes = 0;  // samples delivered at the wrong place by the drive, put right
  int32_t repairs = 0;      // dropped or doubled bytes, scratches and read errors overcome
  // Sectors whose C2 error pointers stayed set however often they were read; sorted when merged.
  std::vector<int32_t> c2Sectors;
  int64_t outOfReach = 0;   // samples the drive cannot reach (past the disc's edges), given as silence
  // Where samples could not be read exactly, in samples from sector 0; sorted when merged.
  std::vector<int64_t> unreadable;

  void Merge(const ReadQuality& other);
};

class ISectorSource {
 public:
  virtual ~ISectorSource() = default;
  // count sectors from logical sector start, 2352 bytes each, into buffer.
  virtual bool ReadRawSectors(int32_t start, uint8_t* buffer, int32_t count) = 0;
  // The same, for a reader that checks what it reads: it always delivers count sectors and adds to
  // quality what it had to put right and what it could not.
  virtual bool ReadSectors(int32_t start, uint8_t* buffer, int32_t count, ReadQuality& quality) {
    (void)quality;
    return ReadRawSectors(start, buffer, count);
  }
  // Makes the next read reach the medium rather than a cache (near: where that read will be).
  virtual void ForgetReads(int32_t near) { (void)near; }
  // Why the disc that was being read is no longer there to read ("the drive's tray was opened"),
  // once a read found it gone; empty while it is there. No read succeeds after that.
  virtual std::string MediumLost() const { return {}; }
};

}  // namespace korvi
