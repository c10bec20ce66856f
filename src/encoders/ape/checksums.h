#pragma once
// The two checksums of the format: CRC-32 (as in zlib) over each frame's PCM, MD5 over the file.

#include <array>
#include <cstddef>
#include <cstdint>

namespace korvi::ape {

// CRC-32 with the reflected polynomial 0xEDB88320, initial value and final XOR 0xFFFFFFFF.
uint32_t Crc32(const uint8_t* data, size_t size);

class Md5 {
 public:
  Md5();
  void Update(const void* data, size_t size);
  std::array<uint8_t, 16> Final();

 private:
  void Block(const uint8_t* block);

  uint32_t m_state[4];
  uint64_t m_bytes = 0;
  uint8_t m_pending[64];
};

}  // namespace korvi::ape
