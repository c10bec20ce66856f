#pragma once
// The table of contents as the drive reports it: the 804-byte CDROM_TOC record, addresses in
// minutes-seconds-frames that include the 150-frame lead-in.

#include <cstdint>
#include <optional>
#include <vector>

#include "disc/cd_text.h"

namespace korvi {

constexpr int kLeadInSectors = 150;
constexpr int kSectorsPerSecond = 75;
constexpr int kRawSectorBytes = 2352;
constexpr int kMaxTocTracks = 99;
// Sectors between the lead-out of an audio session and the first track of the next session
// (lead-out 6750, lead-in 4500, pregap 150).
constexpr int kSessionGapSectors = 11400;

struct TRACK_DATA {
  uint8_t Reserved;
  uint8_t ControlAdr;  // Control in the low nibble, as the Windows bit fields lay it out
  uint8_t TrackNumber;
  uint8_t Reserved1;
  uint8_t Address[4];  // 0, minutes, seconds, frames
};

struct CDROM_TOC {
  uint8_t Length[2];  // big-endian count of the bytes that follow this field
  uint8_t FirstTrack;
  uint8_t LastTrack;
  TRACK_DATA TrackData[kMaxTocTracks + 1];
};

static_assert(sizeof(TRACK_DATA) == 8);
static_assert(sizeof(CDROM_TOC) == 804);

constexpr uint8_t kControlDataTrack = 0x04;
// Audio mastered with 50/15 µs pre-emphasis: a player must de-emphasise it.
constexpr uint8_t kControlPreEmphasis = 0x01;
constexpr uint8_t kLeadOutTrackNumber = 0xAA;

// logical sector = minutes × 4500 + seconds × 75 + frames − 150
constexpr int32_t SectorFromMsf(int minutes, int seconds, int frames) {
  return minutes * 60 * kSectorsPerSecond + seconds * kSectorsPerSecond + frames - kLeadInSectors;
}
int32_t SectorFromMsf(const uint8_t address[4]);

// The entry's address with the lead-in, for addresses given as an absolute frame count.
void SetEntryAddress(TRACK_DATA& entry, int32_t absoluteFrames);

inline int TocTrackCount(const CDROM_TOC& toc) {
  return toc.LastTrack >= toc.FirstTrack ? toc.LastTrack - toc.FirstTrack + 1 : 0;
}
inline bool IsDataEntry(const TRACK_DATA& entry) { return (entry.ControlAdr & kControlDataTrack) != 0; }
inline bool HasPreEmphasis(const TRACK_DATA& entry) {
  return !IsDataEntry(entry) && (entry.ControlAdr & kControlPreEmphasis) != 0;
}

// What the disc holds beyond the raw record: where the audio before a data track really ends. On
// a drive's enhanced CD that is the audio session's lead-out, 11400 sectors before the data track
// of the next session; on an image, the data track's pregap.
struct DiscToc {
  CDROM_TOC toc{};
  std::optional<int32_t> audioEnd;  // logical sector just past the last audio sector, when known
  DiscText text;                    // CD-Text, and a cue sheet's disc facts
  // Sectors of each track of the record (from the first) between its INDEX 00 and INDEX 01, where
  // the disc says; empty or 0 where it does not (most drives).
  std::vector<int32_t> pregaps;
};

struct TrackSpan {
  int32_t begin = 0;
  int32_t end = 0;  // inclusive
};

// Begin and end of the n-th track (1-based) of the record. The end is the next entry's sector
// minus 1, except that the last audio track before a data track ends before audioEnd.
TrackSpan TrackSpanOf(const DiscToc& disc, int n);

// From the first sector of the first audio track to the last of the last; none without audio.
std::optional<TrackSpan> AudioSpanOf(const DiscToc& disc);

// The sectors a drive can read as audio: the audio span, and before the first track from sector 0
// when the disc begins with audio (a hidden track, or a pregap that a read offset reaches into).
std::optional<TrackSpan> AudioReachOf(const DiscToc& disc);

}  // namespace korvi
