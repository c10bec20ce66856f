#pragma once
// Reads at chosen places of a file or of bytes in memory, for the readers of file headers: they look
// at a few places of a file that may be large, and are tried on bytes alone (tests, fuzzing).

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string_view>

#include "common/fs_util.h"

namespace korvi {

// Reads up to length bytes at offset into out: the count read, fewer only where the source ends,
// or -1 with errno set when it cannot be read.
using ByteSource = std::function<int64_t(uint64_t offset, uint8_t* out, size_t length)>;

// The bytes themselves, which must outlive the source.
inline ByteSource MemorySource(std::string_view bytes) {
  return [bytes](uint64_t offset, uint8_t* out, size_t length) -> int64_t {
    if (offset >= bytes.size()) return 0;
    const size_t n = std::min<uint64_t>(length, bytes.size() - offset);
    std::memcpy(out, bytes.data() + offset, n);
    return int64_t(n);
  };
}

// The open file fd, read with pread (its position is left alone), which must outlive the source.
inline ByteSource FileSource(int fd) {
  return [fd](uint64_t offset, uint8_t* out, size_t length) -> int64_t {
    return ReadFull(fd, out, length, int64_t(offset));
  };
}

}  // namespace korvi
