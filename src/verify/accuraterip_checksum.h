#pragma once
// The AccurateRip checksums of one track, computed as the track's audio streams in: each stereo
// sample, read as a little-endian 32-bit word, is multiplied by its 1-based position in the track.
// v1 adds the low 32 bits of the products, v2 the low and the high 32 bits. The disc's first audio
// track leaves out its first five sectors but one sample, the last its last five sectors, so that
// drives with different read offsets agree.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace korvi {

class AccurateRipChecksum {
 public:
  AccurateRipChecksum(bool firstTrack, bool lastTrack);

  // The next bytes of the track's 16-bit stereo little-endian audio, in chunks of any size.
  void Feed(const uint8_t* data, size_t size);

  // The checksums of the track as fed so far, as if it ended there.
  uint32_t V1() const { return m_v1; }
  uint32_t V2() const { return m_v1 + m_high; }

 private:
  void Take(const uint8_t* samples, size_t count);
  void Add(const uint8_t* samples, size_t count);

  bool m_lastTrack;
  uint32_t m_firstCounted;  // the position of the first sample that counts
  uint32_t m_next = 1;      // the position of the next sample added
  uint32_t m_v1 = 0;
  uint32_t m_high = 0;
  uint8_t m_partial[4] = {};  // a sample split between two chunks
  size_t m_partialBytes = 0;
  std::vector<uint8_t> m_held;  // of the last track: the latest samples, which may be its last five sectors
};

}  // namespace korvi
