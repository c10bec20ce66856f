#pragma once
// Where raw audio sectors come from: a drive or image, or a test's fake.

#include <cstdint>

namespace korvi {

class ISectorSource {
 public:
  virtual ~ISectorSource() = default;
  // count sectors from logical sector start, 2352 bytes each, into buffer.
  virtual bool ReadRawSectors(int32_t start, uint8_t* buffer, int32_t count) = 0;
};

}  // namespace korvi
