// ParseMusicBrainzReleases on arbitrary bytes: the first byte picks the look-up (by disc id or by
// TOC) and the disc's track count (tracks of 3 to 4 minutes), the rest is the reply.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_checks.h"
#include "metadata/musicbrainz_release.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const std::string discId = (data[0] & 0x80) ? "" : "Uv7bSaF0x6Qm.JrWxj7b6Mwst0s-";
  const int trackCount = (data[0] & 0x7F) % 100;
  std::vector<int32_t> lengths;
  for (int i = 0; i < trackCount; ++i) lengths.push_back(13500 + 150 * i);
  const std::string_view reply(reinterpret_cast<const char*>(data + 1), size - 1);
  std::string error;
  const auto releases = korvi::ParseMusicBrainzReleases(reply, discId, lengths, &error);
  if (!releases) {
    korvi::fuzz::Require(error.starts_with("the reply is not MusicBrainz JSON: "));
    return 0;
  }
  bool far = false;
  for (const korvi::MusicBrainzRelease& release : *releases) {
    // The close guesses come first, since the first is taken without a choice.
    korvi::fuzz::Require(!(far && release.closeMatch));
    far = far || !release.closeMatch;
    korvi::fuzz::Require(!release.closeMatch || discId.empty());
    korvi::fuzz::Require(release.tracks.size() <= 99);
    korvi::fuzz::Require(release.trackCount >= 0 && release.trackCount <= 99);
    korvi::fuzz::Require(release.year.empty() || release.year.size() == 4);
    korvi::fuzz::Require(release.discNumber >= 0 && release.discCount >= 0);
  }
  // Parsing is a function of the text alone.
  std::string again;
  korvi::fuzz::Require(korvi::ParseMusicBrainzReleases(reply, discId, lengths, &again)->size() ==
                       releases->size());
  return 0;
}
