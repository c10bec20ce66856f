#pragma once
// What a drive says about itself (INQUIRY, the capabilities page) and what is found by trying it:
// whether it keeps audio sectors in a cache, how many, and whether a FUA read gets past that cache.
// Only drives are asked; an image has none of these.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace korvi {

class CdDevice;

struct DriveIdentity {
  std::string vendor;    // INQUIRY's 8 bytes, trailing spaces removed
  std::string model;     // its 16 bytes
  std::string revision;  // its 4 bytes
};

struct DriveCache {
  bool measured = false;     // false when the drive could not be read for the measurement
  bool cachesAudio = false;  // a re-read came back much faster than a fresh read
  // Sectors the cache holds: the fewest reads elsewhere after which a sector is read from the disc
  // again. When the time allowed ran out first, at least this many (sizeIsLowerBound).
  int32_t sectors = 0;
  bool sizeIsLowerBound = false;
  double freshReadMs = 0;   // a single sector from the disc, median
  double cachedReadMs = 0;  // the same sector again at once, median
};

struct DriveFua {
  bool works = false;          // READ(12) with FUA of audio sectors returns their 2352 bytes
  bool bypassesCache = false;  // and, on a drive that caches, takes as long as a fresh read
};

struct DriveFacts {
  DriveIdentity identity;
  bool c2Pointers = false;  // the capabilities page says READ CD returns C2 error pointers
  DriveCache cache;
  DriveFua fua;
};

// INQUIRY; nullopt for an image or a drive that does not answer (the cause in *error).
std::optional<DriveIdentity> ReadDriveIdentity(CdDevice& drive, std::string* error = nullptr);

// MODE SENSE page 2Ah, byte 5 bit 4; false where the page cannot be read.
bool ReadC2Support(CdDevice& drive);

// Times single-sector reads of the disc's audio starting near sector `near`, within about `budget`.
DriveCache MeasureCache(CdDevice& drive, int32_t near, int32_t leadOut,
                        std::chrono::milliseconds budget = std::chrono::seconds(20));

// count sectors from start by READ(12) with Force Unit Access, 2352 bytes each; false when the
// drive refuses it (or is an image).
bool ReadSectorsFua(CdDevice& drive, int32_t start, uint8_t* buffer, int32_t count);

// Whether FUA reads work, and on a drive with a cache (as measured) whether they bypass it.
DriveFua ProbeFua(CdDevice& drive, int32_t near, const DriveCache& cache);

// All of the above for a drive holding a disc whose audio spans [firstAudio, leadOut).
// nullopt for an image or a drive that does not identify itself (the cause in *error).
std::optional<DriveFacts> GatherDriveFacts(CdDevice& drive, int32_t firstAudio, int32_t leadOut,
                                           std::string* error = nullptr);

// "VENDOR - MODEL", as AccurateRip's drive list names a drive; the key of its offset setting.
std::string DriveModelName(const DriveIdentity& identity);

}  // namespace korvi
