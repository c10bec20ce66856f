#pragma once
// AccurateRip's list of drive read offsets (its DriveOffsets.bin): which offset the database's
// users found for each drive model. Fetched from the AccurateRip server and kept in the library
// folder, so that it is asked for again only when the copy there is old.
//
// The file is a run of 69-byte records: the offset as a little-endian 16-bit signed number, the
// drive's name "VENDOR - MODEL" in 32 bytes padded with NULs, then fields not used here.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvi {

inline constexpr const char* kDriveOffsetListPath = "/accuraterip/DriveOffsets.bin";
inline constexpr const char* kDriveOffsetListFile = "DriveOffsets.bin";
// Far above the real list's size (a few thousand drives).
inline constexpr size_t kMaxDriveOffsetListBytes = 1 << 20;

struct DriveOffsetEntry {
  std::string name;  // as the list spells it
  int32_t offset = 0;
};

class DriveOffsetList {
 public:
  // The list in bytes; nullopt, with *reason, for a file that is empty, too large, not whole
  // records, or holds no usable entry. Records with an empty name or an offset beyond what a drive
  // can have are passed over.
  static std::optional<DriveOffsetList> Parse(std::string_view bytes, std::string* reason = nullptr);

  // The offset of the drive model named "VENDOR - MODEL" (as DriveModelName makes it): compared
  // without regard to case or to how many blanks separate words. The first entry of a name counts.
  std::optional<int32_t> OffsetOf(std::string_view modelName) const;
  // The offsets the list gives, most drives first: the ones to try first on a drive not in it.
  std::vector<int32_t> PopularOffsets() const;
  const std::vector<DriveOffsetEntry>& Entries() const { return m_entries; }

 private:
  std::vector<DriveOffsetEntry> m_entries;
};

// A drive name as the list and INQUIRY spell it, the same for both: upper case, single blanks.
std::string NormalizedDriveName(std::string_view name);

struct DriveOffsetListCopy {
  std::optional<DriveOffsetList> list;
  std::string problem;  // why there is no list, or why an old copy was used
};

// The list from libraryFolder's copy when it is younger than maxAge, else from the AccurateRip
// server (KORVI_ACCURATERIP_SERVER), kept there then; an older copy when the server cannot be
// reached. An empty folder keeps nothing. Without askServer, the copy of any age or none.
DriveOffsetListCopy LoadDriveOffsetList(const std::string& libraryFolder, bool askServer = true,
                                        std::chrono::hours maxAge = std::chrono::hours(24 * 30));

}  // namespace korvi
