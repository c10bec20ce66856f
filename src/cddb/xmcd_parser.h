#pragma once
// The xmcd entry format of the CDDB database: "#" comment lines (the signature, the track frame
// offsets, the disc length, the revision, the submitting client), then KEYWORD=value lines, where a
// repeated keyword continues the value.

#include <string>
#include <string_view>

#include "cddb/cddb_record.h"

namespace korvi {

// The highest track number an entry may name: an audio CD holds at most 99 tracks.
inline constexpr int kMaxXmcdTrackIndex = 98;

// Resets record, then fills it from entry. False when the entry is rejected; record then holds what
// was parsed up to the failure, and *reason (when given) says why. Text that is not valid UTF-8 is
// taken as Latin-1 and converted, value by value after continuation lines are joined.
bool ParseXmcd(std::string_view entry, CCDDBRecord& record, std::string* reason = nullptr);

}  // namespace korvi
