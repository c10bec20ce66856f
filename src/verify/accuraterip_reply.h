#pragma once
// The database's reply for a disc (its dBAR-….bin file), and what it says of a ripped track.
//
// The file is a run of pressings, each a 13-byte header (track count, then id1, id2 and the CDDB
// id as little-endian 32-bit words) and per track 9 bytes: the confidence, the checksum, and the
// checksum of the track's 450th sector alone (for finding offsets; unused here).

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "verify/accuraterip_ids.h"

namespace korvi {

// Far beyond any real reply (a pressing of 99 tracks takes 904 bytes).
inline constexpr size_t kMaxAccurateRipReplyBytes = 1 << 20;

struct AccurateRipEntry {
  int confidence = 0;  // how many rips agreed; 0 when the database has no checksum for the track
  uint32_t checksum = 0;
  uint32_t frame450Checksum = 0;
};

struct AccurateRipPressing {
  AccurateRipIds ids;
  std::vector<AccurateRipEntry> tracks;
};

// Fills pressings from the reply's bytes. False, with pressings cleared and *reason (when given)
// saying why, for a reply that is empty, too large, cut short, or names 0 or more than 99 tracks.
bool ParseAccurateRipReply(std::string_view reply, std::vector<AccurateRipPressing>& pressings,
                           std::string* reason = nullptr);

enum class AccurateRipVerdict {
  kNotInDatabase,  // no pressing of this disc has a checksum for the track
  kNotAccurate,    // some have, and none equals the track's
  kAccurate,
};

struct AccurateRipMatch {
  AccurateRipVerdict verdict = AccurateRipVerdict::kNotInDatabase;
  int version = 0;     // of an accurate track: 1 or 2, which of its checksums matched
  int confidence = 0;  // of an accurate track: that of the matching entry; else of the entry below
  // The database's checksum: of the matching entry, or, of a track that is not accurate, of the
  // entry with the highest confidence, so that a log shows what the database holds.
  uint32_t databaseChecksum = 0;
};

// What the pressings of the disc with these ids say of its audio track number track (1-based),
// whose checksums are v1 and v2. Pressings of other ids are passed over. Of several matching
// entries, the one with the highest confidence counts, and v2 before v1 at equal confidence.
AccurateRipMatch MatchAccurateRip(const std::vector<AccurateRipPressing>& pressings,
                                  const AccurateRipIds& ids, int track, uint32_t v1, uint32_t v2);

}  // namespace korvi
