#pragma once
// The metadata of the disc in the drive, and the local library that keeps it between runs: one
// file per disc, named after its CDDB disc id, and beside it a JSON file with what online sources
// told beyond that file's fields.

#include <cstdint>
#include <string>
#include <vector>

#include "disc/track_info.h"
#include "library/disc_extras.h"

namespace korvi {

constexpr size_t kLibraryHeaderBytes = 536;
constexpr size_t kLibraryTrackBytes = 1036;

class CDiscInfo {
 public:
  std::string albumTitle;
  std::string albumArtist;
  int32_t discLength = 0;  // seconds
  uint32_t discId = 0;     // 0: the record belongs to no disc
  std::vector<CTrackInfo> tracks;
  DiscExtras extras;  // kept in the sidecar file, not in the library file

  // Writes the record's library file into folder, replacing the old one atomically, and its sidecar
  // as one unit with it: written, stamped with the library file's content, when there are extras,
  // removed when there are none, so that titles from another source never keep an old release's
  // ids. Saves of one disc take turns (a lock file ".<id>.lock" in folder). The bytes written
  // (536 + 1036 × n), or -1 with *error saying why and which part failed: nothing, or the sidecar
  // alone, the library file written all the same.
  int32_t SaveDiscInfo(const std::string& folder, std::string* error = nullptr) const;
  // Loads the library file of discId. The bytes consumed, or -1 with the record unchanged when the
  // file is missing, not a regular file, not ours, of another version, shorter than it says, or of
  // another track count than the tracks the record already holds. The extras come from the sidecar;
  // they are left empty when it is missing or unusable (not a regular file, unreadable, over 1 MiB,
  // not JSON, of another format, of wrong types, with more recordings than the record has tracks,
  // or stamped with another library file), which never fails the load.
  int32_t LoadDiscInfo(const std::string& folder, uint32_t discId);

  // Nothing but what the table of contents says: no album title or artist, and every track
  // titled "Track N" after its number (counted on from the first one's) with no artist, album,
  // comment or year of its own (none, or the year earlier versions gave every track).
  bool HoldsOnlyNumberedTracks() const;
};

// folder + '/' + "%X.dci"
std::string LibraryFileName(const std::string& folder, uint32_t discId);
// folder + '/' + "%X.json": the sidecar with the record's extras.
std::string ExtrasFileName(const std::string& folder, uint32_t discId);

// Whether the library has a file for discId; when it has, it is loaded into record (a file that
// does not load still counts as found).
bool FindInLibrary(uint32_t discId, const std::string& folder, CDiscInfo& record);

}  // namespace korvi
