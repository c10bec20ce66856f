#include "metadata/musicbrainz_disc_id.h"

#include <discid/discid.h>

#include <memory>

namespace korvi {
namespace {

struct DiscIdFree {
  void operator()(DiscId* disc) const { discid_free(disc); }
};

}  // namespace

std::optional<MusicBrainzToc> MusicBrainzTocOf(const DiscToc& disc) {
  const CDROM_TOC& record = disc.toc;
  const int count = TocTrackCount(record);
  if (count < 1 || count > kMaxTocTracks || record.FirstTrack < 1) return std::nullopt;
  int lastAudio = -1;  // index into TrackData
  for (int i = 0; i < count; ++i)
    if (!IsDataEntry(record.TrackData[i])) lastAudio = i;
  if (lastAudio < 0) return std::nullopt;

  MusicBrainzToc toc;
  toc.firstTrack = record.FirstTrack;
  toc.lastTrack = record.FirstTrack + lastAudio;
  for (int i = 0; i <= lastAudio; ++i)
    toc.offsets.push_back(SectorFromMsf(record.TrackData[i].Address) + kLeadInSectors);
  // The last audio track ends where its span does: before the data session or the image's gap.
  toc.leadOut = lastAudio + 1 < count ? TrackSpanOf(disc, lastAudio + 1).end + 1 + kLeadInSectors
                                      : SectorFromMsf(record.TrackData[count].Address) + kLeadInSectors;
  for (size_t i = 0; i < toc.offsets.size(); ++i)
    if (toc.offsets[i] < 0 || (i > 0 && toc.offsets[i] <= toc.offsets[i - 1])) return std::nullopt;
  if (toc.leadOut <= toc.offsets.back()) return std::nullopt;
  return toc;
}

std::string MusicBrainzDiscId(const MusicBrainzToc& toc) {
  if (toc.firstTrack < 1 || toc.lastTrack > kMaxTocTracks || toc.TrackCount() < 1 ||
      toc.offsets.size() != size_t(toc.TrackCount()))
    return {};
  // libdiscid indexes its array by track number, the lead-out at 0.
  int offsets[100] = {};
  offsets[0] = toc.leadOut;
  for (int n = toc.firstTrack; n <= toc.lastTrack; ++n) offsets[n] = toc.offsets[size_t(n - toc.firstTrack)];
  const std::unique_ptr<DiscId, DiscIdFree> disc(discid_new());
  if (!disc || !discid_put(disc.get(), toc.firstTrack, toc.lastTrack, offsets)) return {};
  return discid_get_id(disc.get());
}

std::string MusicBrainzTocParameter(const MusicBrainzToc& toc) {
  std::string text = std::to_string(toc.firstTrack) + "+" + std::to_string(toc.lastTrack) + "+" +
                     std::to_string(toc.leadOut);
  for (const int32_t offset : toc.offsets) text += "+" + std::to_string(offset);
  return text;
}

}  // namespace korvi
