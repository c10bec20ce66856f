#include "common/riff_chunks.h"

#include <cerrno>
#include <cstring>

#include "common/little_endian.h"

namespace korvi {

bool IsChunk(const RiffChunk& chunk, const char (&id)[5]) { return std::memcmp(chunk.id, id, 4) == 0; }

RiffWalk WalkRiffChunks(const ByteSource& source, uint64_t fileBytes, RiffRule rule,
                        const std::function<bool(const RiffChunk&)>& visit) {
  RiffWalk walk;
  uint8_t riff[12];
  if (source(0, riff, sizeof riff) != int64_t(sizeof riff)) {
    walk.status = RiffWalk::Status::kShortHeader;
    return walk;
  }
  if (std::memcmp(riff, "RIFF", 4) != 0 || std::memcmp(riff + 8, "WAVE", 4) != 0) {
    walk.status = RiffWalk::Status::kNotRiffWave;
    return walk;
  }
  uint64_t at = sizeof riff;
  uint8_t header[8];
  while (at + sizeof header <= fileBytes) {
    if (const int64_t n = source(at, header, sizeof header); n != int64_t(sizeof header)) {
      walk = {RiffWalk::Status::kReadFailed, at, n, n < 0 ? errno : 0, {}};
      return walk;
    }
    RiffChunk chunk{{header[0], header[1], header[2], header[3]}, GetLe32(header + 4), at + sizeof header};
    const uint64_t end = chunk.body + chunk.size + (chunk.size & 1);
    if (rule == RiffRule::kStrict && !IsChunk(chunk, "data") && end > fileBytes) {
      walk.status = RiffWalk::Status::kChunkPastEnd;
      walk.chunk = chunk;
      return walk;
    }
    if (!visit(chunk)) {
      walk.status = RiffWalk::Status::kStopped;
      return walk;
    }
    at = end;
  }
  walk.status = RiffWalk::Status::kEnded;
  return walk;
}

}  // namespace korvi
