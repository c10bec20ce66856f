#pragma once
// Reading through libcdio-paranoia: every sector is read in overlapping runs and compared until two
// reads agree; jitter is put right, and what cannot be read exactly is reported with its place.
// Paranoia reads through the inner source, so it checks a drive, an image or a test's faulty
// source alike.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "disc/cdrom_toc.h"
#include "disc/sector_source.h"

typedef struct _CdIo CdIo_t;
typedef struct cdrom_drive_s cdrom_drive_t;
typedef struct cdrom_paranoia_s cdrom_paranoia_t;

namespace korvi {

class SecureSectorSource : public ISectorSource {
 public:
  // Null when paranoia cannot be set up for the disc; the cause is in *error then.
  static std::unique_ptr<SecureSectorSource> Create(ISectorSource& inner, const DiscToc& disc,
                                                    std::string* error = nullptr);
  ~SecureSectorSource() override;
  SecureSectorSource(const SecureSectorSource&) = delete;
  SecureSectorSource& operator=(const SecureSectorSource&) = delete;

  bool ReadRawSectors(int32_t start, uint8_t* buffer, int32_t count) override;
  bool ReadSectors(int32_t start, uint8_t* buffer, int32_t count, ReadQuality& quality) override;
  // Drops what paranoia has read so far and has the inner source forget its reads too.
  void ForgetReads(int32_t near) override;

  // Called by paranoia, on the reading thread, while this source reads; in paranoia's sectors.
  long ReadForParanoia(void* buffer, int32_t begin, long sectors);
  void Note(long wordPosition, int mode);

 private:
  SecureSectorSource(ISectorSource& inner, CdIo_t* cdio, cdrom_drive_t* drive, int32_t first, int32_t last);
  // A fresh paranoia that delivers start next, its lead first.
  bool StartParanoia(int32_t start);
  // Notes what paranoia could not read of the sector it has just delivered.
  void NoteDelivered(int32_t sector, const uint8_t* data, ReadQuality& quality);

  ISectorSource& m_inner;
  CdIo_t* m_cdio;
  cdrom_drive_t* m_drive;
  cdrom_paranoia_t* m_paranoia = nullptr;
  int32_t m_first;  // the audio that paranoia may read, inclusive
  int32_t m_last;
  int32_t m_next = -1;  // the sector paranoia delivers next
  // Paranoia cannot start where a sector never reads the same twice: with nothing verified yet it
  // puts its skip at word 0 of the disc. Reading from sector 0 it then copies half a block there
  // (a byte count for a count of 16-bit words) and reads it as a whole one; anywhere else it fills
  // silence at word 0, trims it away again as too far behind, and never ends. So paranoia's
  // sectors are ours moved on by a margin, and each fresh start begins with a lead of made-up
  // sectors before the first real one: the lead always reads the same, paranoia verifies it, and
  // a bad first sector is skipped as one anywhere else is.
  int32_t m_leadEnd = 0;             // paranoia's sector of the first real one of this start
  int32_t m_leadLeft = 0;            // lead sectors paranoia has still to deliver
  ReadQuality* m_quality = nullptr;  // of the read under way
  // Paranoia reports what it put right and where it skipped as it reads ahead, even into the next
  // track; each is counted with the sector that holds it, once that sector is delivered.
  struct Event {
    int64_t sample;
    enum Kind { kJitter, kRepair, kSkip } kind;
  };
  std::vector<Event> m_events;
  // How each sector's reads went, kReadOnce | kFailedOnce. A sector the drive fails on comes to
  // paranoia as silence, which must not pass as read: not when it never read at all, nor when
  // silence is what paranoia settled on for it. Nor may a sector the drive's C2 pointers marked
  // (kC2Marked) on every read of it.
  enum : uint8_t { kReadOnce = 1, kFailedOnce = 2, kC2Marked = 4 };
  std::vector<uint8_t> m_reads;
};

}  // namespace korvi
