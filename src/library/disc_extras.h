#pragma once
// What an online source told about a disc beyond the library file's fields. It is kept in a small
// JSON file beside the disc's library file, so that the library file's layout never changes.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace korvi {

// What a source told about the disc beyond the library file's fields.
struct DiscExtras {
  std::string source;  // "MusicBrainz", "CDDB" or "CD-Text": where the titles came from; may be empty
  std::string genre;   // the CDDB entry's genre (else its category), or the CD-Text's
  std::string musicBrainzDiscId;
  std::string musicBrainzReleaseId;
  std::string releaseDate;   // as MusicBrainz gives it: "1997", "1997-05" or "1997-05-21"
  std::string originalDate;  // the release group's first release, in the same form
  std::string releaseCountry;
  std::string label;
  std::string catalogNumber;
  int discNumber = 0;  // medium position and count of the release, 0 when unknown
  int discCount = 0;
  std::vector<std::string> recordingIds;  // one per track in track order ("" where unknown); may be empty
  bool empty() const;                     // nothing at all to keep
  bool operator==(const DiscExtras&) const = default;
};

// Which library file the extras were written with: its disc id and the CRC-32 of its bytes. A
// library file written since (by a save that could not finish, or by another lookup) no longer
// matches, and the extras are not its own.
struct ExtrasStamp {
  uint32_t discId = 0;
  uint32_t crc32 = 0;
  bool operator==(const ExtrasStamp&) const = default;
};

ExtrasStamp StampOf(uint32_t discId, const std::string& libraryFileBytes);

// The file's text: pretty-printed UTF-8 JSON, empty fields left out, the stamp last.
std::string FormatDiscExtras(const DiscExtras& extras,
                             const std::optional<ExtrasStamp>& stamp = std::nullopt);

// The extras a file's text holds, and its stamp (none in files of earlier versions); false (and
// both untouched) for text that is not JSON, of another format, of wrong types, or with more
// recording ids than `trackCount`.
bool ParseDiscExtras(const std::string& text, size_t trackCount, DiscExtras& extras,
                     std::optional<ExtrasStamp>* stamp = nullptr);

}  // namespace korvi
