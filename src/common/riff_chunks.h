#pragma once
// Walks the chunks of a RIFF WAVE file, for its two readers: verification, which takes a file only
// when every chunk is whole, and disc images, which take what a streaming writer or a cut copy left.

#include <cstdint>
#include <functional>

#include "common/byte_source.h"

namespace korvi {

struct RiffChunk {
  uint8_t id[4];
  uint32_t size;  // as the chunk's header says it
  uint64_t body;  // where its bytes begin
};

enum class RiffRule {
  // Every chunk but "data" must lie whole within the file: one that reaches past its end ends the
  // walk (kChunkPastEnd) before it is visited.
  kStrict,
  // Sizes are taken as they are, and the walk ends where the file does.
  kLenient,
};

struct RiffWalk {
  enum class Status {
    kStopped,       // the visitor stopped it
    kEnded,         // no room for another chunk header before the end of the file
    kShortHeader,   // fewer than 12 bytes to read
    kNotRiffWave,   // no "RIFF" ... "WAVE" at the start
    kReadFailed,    // a chunk header could not be read whole: see at, read and error
    kChunkPastEnd,  // kStrict: chunk reaches past the end of the file
  };
  Status status = Status::kEnded;
  uint64_t at = 0;     // kReadFailed: where the header was read
  int64_t read = 0;    // kReadFailed: what the source gave (-1: a failure, with error)
  int error = 0;       // kReadFailed: errno of a failure
  RiffChunk chunk{};   // kChunkPastEnd: that chunk
};

// Visits each chunk after the 12-byte RIFF WAVE header of a file of fileBytes bytes, in order,
// stepping over each one's body and its pad byte (odd sizes are padded to even); visit returns
// false to stop. The RIFF size is never trusted: writers that stream leave it wrong.
RiffWalk WalkRiffChunks(const ByteSource& source, uint64_t fileBytes, RiffRule rule,
                        const std::function<bool(const RiffChunk&)>& visit);

// Whether chunk is the one named id ("fmt ", "data").
bool IsChunk(const RiffChunk& chunk, const char (&id)[5]);

}  // namespace korvi
