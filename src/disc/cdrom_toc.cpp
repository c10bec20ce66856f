#include "disc/cdrom_toc.h"

#include <algorithm>

namespace korvi {

int32_t SectorFromMsf(const uint8_t address[4]) { return SectorFromMsf(address[1], address[2], address[3]); }

void SetEntryAddress(TRACK_DATA& entry, int32_t absoluteFrames) {
  entry.Address[0] = 0;
  entry.Address[1] = static_cast<uint8_t>(absoluteFrames / (60 * kSectorsPerSecond));
  entry.Address[2] = static_cast<uint8_t>((absoluteFrames / kSectorsPerSecond) % 60);
  entry.Address[3] = static_cast<uint8_t>(absoluteFrames % kSectorsPerSecond);
}

TrackSpan TrackSpanOf(const DiscToc& disc, int n) {
  TrackSpan span;
  if (n < 1 || n > TocTrackCount(disc.toc)) return span;
  span.begin = SectorFromMsf(disc.toc.TrackData[n - 1].Address);
  span.end = SectorFromMsf(disc.toc.TrackData[n].Address) - 1;
  if (disc.audioEnd && span.begin < *disc.audioEnd) span.end = std::min(span.end, *disc.audioEnd - 1);
  return span;
}

std::optional<TrackSpan> AudioSpanOf(const DiscToc& disc) {
  std::optional<TrackSpan> audio;
  for (int n = 1; n <= TocTrackCount(disc.toc); ++n) {
    if (IsDataEntry(disc.toc.TrackData[n - 1])) continue;
    const TrackSpan span = TrackSpanOf(disc, n);
    if (!audio) audio = span;
    audio->begin = std::min(audio->begin, span.begin);
    audio->end = std::max(audio->end, span.end);
  }
  return audio;
}

std::optional<TrackSpan> AudioReachOf(const DiscToc& disc) {
  std::optional<TrackSpan> reach = AudioSpanOf(disc);
  if (reach && !IsDataEntry(disc.toc.TrackData[0])) reach->begin = std::min(reach->begin, 0);
  return reach;
}

}  // namespace korvi
