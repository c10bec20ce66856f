#pragma once
// What proves a ripped track, summed as its audio streams to the writer: the AccurateRip
// checksums, the CRC32 of the audio and the peak level. One pass, whatever the output format.

#include <cstddef>
#include <cstdint>

#include "verify/accuraterip_checksum.h"

namespace korvi {

class TrackSums {
 public:
  // firstTrack, lastTrack: whether the track is the disc's first or last audio track, whose edges
  // AccurateRip leaves out.
  TrackSums(bool firstTrack, bool lastTrack);

  // The next bytes of the track's 16-bit stereo little-endian audio, in chunks of any size.
  void Feed(const uint8_t* data, size_t size);

  uint32_t AccurateRipV1() const { return m_accurateRip.V1(); }
  uint32_t AccurateRipV2() const { return m_accurateRip.V2(); }
  uint32_t Crc32() const { return m_crc; }
  // The largest sample, as a share of full scale: 0 to 100.
  double PeakPercent() const;

 private:
  void Take(int16_t sample);

  AccurateRipChecksum m_accurateRip;
  uint32_t m_crc;
  // The lowest and highest 16-bit sample so far: two running extremes vectorise, |sample| does not.
  int16_t m_lowest = 0;
  int16_t m_highest = 0;
  uint8_t m_oddByte = 0;
  bool m_hasOddByte = false;
};

}  // namespace korvi
