#pragma once
// One frame of 16-bit PCM into the frame-data stream: its CRC and special codes, then the channels
// through the stereo transform, the prediction stages and the range coder. Every frame starts from
// a fresh state, so frames decode independently.

#include <cstdint>
#include <memory>
#include <vector>

#include "encoders/ape/frame_stream.h"
#include "encoders/ape/nn_filter.h"
#include "encoders/ape/predictor.h"

namespace korvi::ape {

// Blocks (samples per channel) per frame at a level; 0 for a level that does not exist.
int BlocksPerFrame(int level);

// Flags of the word after the CRC.
constexpr uint32_t kSpecialChannel1Silent = 1;  // the second channel (or the only one) is all zero
constexpr uint32_t kSpecialChannel0Silent = 2;
constexpr uint32_t kSpecialPseudoStereo = 4;  // both channels are equal

class FrameEncoder {
 public:
  // level: one of the five; channels: 1 or 2.
  FrameEncoder(int level, int channels);

  // pcm: blocks × channels little-endian 16-bit samples, interleaved.
  void Encode(const uint8_t* pcm, int blocks, FrameStream& out);

 private:
  // One channel's stages after the stereo transform.
  struct Channel {
    Predictor predictor;
    std::vector<std::unique_ptr<NNFilter>> filters;  // the largest first
    uint32_t kSum = 0;
    void Reset();
  };

  void EncodeStereo(const uint8_t* pcm, int blocks, RangeEncoder& coder, FrameStream& out);
  void EncodeMono(const uint8_t* pcm, int blocks, RangeEncoder& coder, FrameStream& out);
  static void Filter(Channel& channel, int32_t* data, int count);

  int m_channels;
  Channel m_side;  // channel 1 − channel 0
  Channel m_mid;   // channel 0 + side / 2; the one channel of a mono or pseudo-stereo frame
  // Work buffers of one chunk.
  std::vector<int32_t> m_sideBuffer;
  std::vector<int32_t> m_midBuffer;
  std::vector<int32_t> m_previousMid;
  std::vector<int32_t> m_sideResidual;
};

}  // namespace korvi::ape
