#include "encoders/ape/frame_encoder.h"

#include "encoders/ape/checksums.h"

namespace korvi::ape {
namespace {

// Samples that pass through all stages together, small enough to stay in the cache.
constexpr int kChunk = kMaxNNRun;

struct FilterShape {
  int order;
  int shift;
};

// The NN filters of each level, in the order the encoder applies them.
std::vector<FilterShape> FiltersOf(int level) {
  switch (level) {
    case 2000:
      return {{16, 11}};
    case 3000:
      return {{64, 11}};
    case 4000:
      return {{256, 13}, {32, 10}};
    case 5000:
      return {{1280, 15}, {256, 13}, {16, 11}};
    default:
      return {};
  }
}

int16_t Sample(const uint8_t* p) { return int16_t(uint16_t(p[0] | p[1] << 8)); }

// Which of the special cases a stereo frame is.
uint32_t StereoSpecialCodes(const uint8_t* pcm, int blocks) {
  int32_t any0 = 0, any1 = 0, anyDifference = 0;
  for (int i = 0; i < blocks; ++i) {
    const int32_t s0 = Sample(pcm + 4 * i);
    const int32_t s1 = Sample(pcm + 4 * i + 2);
    any0 |= s0;
    any1 |= s1;
    anyDifference |= s0 ^ s1;
  }
  uint32_t codes = 0;
  if (any1 == 0) codes |= kSpecialChannel1Silent;
  if (any0 == 0) codes |= kSpecialChannel0Silent;
  if (anyDifference == 0) codes |= kSpecialPseudoStereo;
  return codes;
}

uint32_t MonoSpecialCodes(const uint8_t* pcm, int blocks) {
  int32_t any = 0;
  for (int i = 0; i < blocks; ++i) any |= Sample(pcm + 2 * i);
  return any == 0 ? kSpecialChannel1Silent : 0;
}

}  // namespace

int BlocksPerFrame(int level) {
  switch (level) {
    case 1000:
    case 2000:
    case 3000:
      return 73728;
    case 4000:
      return 73728 * 4;
    case 5000:
      return 73728 * 16;
    default:
      return 0;
  }
}

void FrameEncoder::Channel::Reset() {
  predictor.Reset();
  for (auto& filter : filters) filter->Reset();
  kSum = 16384;
}

FrameEncoder::FrameEncoder(int level, int channels)
    : m_channels(channels),
      m_sideBuffer(kChunk),
      m_midBuffer(kChunk),
      m_previousMid(kChunk),
      m_sideResidual(kChunk) {
  for (const FilterShape& shape : FiltersOf(level)) {
    m_side.filters.push_back(std::make_unique<NNFilter>(shape.order, shape.shift));
    m_mid.filters.push_back(std::make_unique<NNFilter>(shape.order, shape.shift));
  }
}

void FrameEncoder::Filter(Channel& channel, int32_t* data, int count) {
  for (auto& filter : channel.filters) filter->Compress(data, count);
}

void FrameEncoder::Encode(const uint8_t* pcm, int blocks, FrameStream& out) {
  const size_t bytes = size_t(blocks) * 2 * m_channels;
  const uint32_t codes = m_channels == 2 ? StereoSpecialCodes(pcm, blocks) : MonoSpecialCodes(pcm, blocks);
  const uint32_t crc = Crc32(pcm, bytes) >> 1;
  out.PutWord(codes != 0 ? crc | 0x80000000u : crc);
  if (codes != 0) out.PutWord(codes);

  RangeEncoder coder(out);
  coder.Reset();
  m_side.Reset();
  m_mid.Reset();
  if (m_channels == 2) {
    // Silence codes nothing; equal channels code only the mid channel (which equals them), as mono.
    const bool silent = (codes & kSpecialChannel0Silent) && (codes & kSpecialChannel1Silent);
    if (!silent && (codes & kSpecialPseudoStereo))
      EncodeMono(pcm, blocks, coder, out);
    else if (!silent)
      EncodeStereo(pcm, blocks, coder, out);
  } else if (!(codes & kSpecialChannel1Silent)) {
    EncodeMono(pcm, blocks, coder, out);
  }
  coder.Finish();
}

void FrameEncoder::EncodeStereo(const uint8_t* pcm, int blocks, RangeEncoder& coder, FrameStream& out) {
  int32_t* side = m_sideBuffer.data();
  int32_t* mid = m_midBuffer.data();
  int32_t* previousMid = m_previousMid.data();
  int32_t lastMid = 0;
  for (int start = 0; start < blocks; start += kChunk) {
    const int count = blocks - start < kChunk ? blocks - start : kChunk;
    const uint8_t* p = pcm + 4 * size_t(start);
    for (int i = 0; i < count; ++i) {
      const int32_t s0 = Sample(p + 4 * i);
      const int32_t s1 = Sample(p + 4 * i + 2);
      side[i] = s1 - s0;
      mid[i] = s0 + side[i] / 2;
      previousMid[i] = lastMid;
      lastMid = mid[i];
    }
    // The side channel is predicted from the previous mid value, the mid from the current side value,
    // both as they came in (so the side residuals go to a buffer of their own).
    Predictor::RunPair(m_side.predictor, side, previousMid, m_sideResidual.data(), m_mid.predictor, mid, side,
                       mid, count);
    for (size_t f = 0; f < m_side.filters.size(); ++f)
      NNFilter::CompressPair(*m_side.filters[f], m_sideResidual.data(), *m_mid.filters[f], mid, count);
    coder.Encode(m_sideResidual.data(), m_side.kSum, mid, m_mid.kSum, count);
    out.MaybeFlush();  // a long frame need not wait whole in memory
  }
}

void FrameEncoder::EncodeMono(const uint8_t* pcm, int blocks, RangeEncoder& coder, FrameStream& out) {
  int32_t* mid = m_midBuffer.data();
  const size_t stride = 2 * size_t(m_channels);  // a pseudo-stereo frame takes channel 0
  for (int start = 0; start < blocks; start += kChunk) {
    const int count = blocks - start < kChunk ? blocks - start : kChunk;
    const uint8_t* p = pcm + stride * size_t(start);
    for (int i = 0; i < count; ++i) mid[i] = Sample(p + stride * i);
    m_mid.predictor.Run(mid, nullptr, mid, count);
    Filter(m_mid, mid, count);
    coder.Encode(mid, m_mid.kSum, nullptr, m_side.kSum, count);
    out.MaybeFlush();
  }
}

}  // namespace korvi::ape
