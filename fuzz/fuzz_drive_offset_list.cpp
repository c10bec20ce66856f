// DriveOffsetList::Parse on arbitrary bytes, as the AccurateRip server or anything posing as it may
// send them: a list it takes has, for each whole record, at most one entry of a printable name and
// an offset a drive can have; each name finds the offset of its first entry; the popular offsets
// are the entries' offsets, each once.
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>

#include "disc/offset_reader.h"
#include "fuzz_checks.h"
#include "verify/drive_offset_list.h"

using korvi::fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::string reason;
  const std::optional<korvi::DriveOffsetList> list = korvi::DriveOffsetList::Parse(bytes, &reason);
  if (!list) {
    Require(!reason.empty());
    return 0;
  }
  Require(size % 69 == 0 && size <= korvi::kMaxDriveOffsetListBytes);
  Require(!list->Entries().empty() && list->Entries().size() <= size / 69);
  std::set<int32_t> offsets;
  std::set<std::string> seen;
  for (const korvi::DriveOffsetEntry& entry : list->Entries()) {
    Require(entry.offset >= -korvi::kMaxReadOffset && entry.offset <= korvi::kMaxReadOffset);
    Require(!entry.name.empty() && entry.name.size() <= 32);
    for (const char c : entry.name) Require(c >= 0x20 && c <= 0x7E);
    offsets.insert(entry.offset);
    const std::string name = korvi::NormalizedDriveName(entry.name);
    Require(!name.empty() && korvi::NormalizedDriveName(name) == name);
    const std::optional<int32_t> found = list->OffsetOf(entry.name);
    Require(found.has_value());
    if (seen.insert(name).second) Require(*found == entry.offset);
  }
  const std::vector<int32_t> popular = list->PopularOffsets();
  Require(std::set<int32_t>(popular.begin(), popular.end()) == offsets && popular.size() == offsets.size());
  return 0;
}
