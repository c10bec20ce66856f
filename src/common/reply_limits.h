#pragma once
// What one reply of a server may cost us, for every client we have (CDDB and HTTP alike): the
// servers are equally far and their answers equally small, so one set of bounds serves them all.

#include <cstddef>

namespace korvi {

inline constexpr size_t kMaxReplyBytes = 1 << 20;
inline constexpr int kMaxReplyMs = 30000;   // from the request to the last byte of the reply
inline constexpr int kReplyStallMs = 2000;  // the longest silence, connecting included

}  // namespace korvi
