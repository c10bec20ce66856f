// ParseDiscExtras on arbitrary sidecar files: the first byte picks the record's track count (0 to
// 99), the rest is the file. A refused file changes nothing; what loads saves and loads back the
// same, so that keeping a record never alters what it was told.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_checks.h"
#include "library/disc_extras.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using korvi::fuzz::Require;
  if (size < 1) return 0;
  const size_t trackCount = data[0] % 100;
  const std::string file(reinterpret_cast<const char*>(data + 1), size - 1);
  korvi::DiscExtras before;
  before.source = "before";
  korvi::DiscExtras extras = before;
  if (!korvi::ParseDiscExtras(file, trackCount, extras)) {
    Require(extras == before);
    return 0;
  }
  Require(extras.recordingIds.size() <= trackCount);
  Require(extras.discNumber >= 0 && extras.discCount >= 0);
  for (const std::string* text :
       {&extras.source, &extras.musicBrainzDiscId, &extras.musicBrainzReleaseId, &extras.releaseDate,
        &extras.releaseCountry, &extras.label, &extras.catalogNumber})
    korvi::fuzz::RequireUtf8(*text);
  for (const std::string& id : extras.recordingIds) korvi::fuzz::RequireUtf8(id);
  korvi::DiscExtras again;
  Require(korvi::ParseDiscExtras(korvi::FormatDiscExtras(extras), trackCount, again) && again == extras);
  return 0;
}
