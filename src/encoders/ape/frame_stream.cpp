#include "encoders/ape/frame_stream.h"

#include <cstring>

namespace korvi::ape {
namespace {

// The "3.98" frequency table of overflow symbols, out of 65536; symbol 63 escapes.
constexpr uint32_t kRangeTotal[64] = {
    0,     19578, 36160, 48417, 56323, 60899, 63265, 64435, 64971, 65232, 65351, 65416, 65447,
    65466, 65476, 65482, 65485, 65488, 65490, 65491, 65492, 65493, 65494, 65495, 65496, 65497,
    65498, 65499, 65500, 65501, 65502, 65503, 65504, 65505, 65506, 65507, 65508, 65509, 65510,
    65511, 65512, 65513, 65514, 65515, 65516, 65517, 65518, 65519, 65520, 65521, 65522, 65523,
    65524, 65525, 65526, 65527, 65528, 65529, 65530, 65531, 65532, 65533, 65534, 65535};
constexpr uint32_t kRangeWidth[64] = {
    19578, 16582, 12257, 7906, 4576, 2366, 1170, 536, 261, 119, 65, 31, 19, 10, 6, 3, 3, 2, 1, 1, 1, 1,
    1,     1,     1,     1,    1,    1,    1,    1,   1,   1,   1,  1,  1,  1,  1, 1, 1, 1, 1, 1, 1, 1,
    1,     1,     1,     1,    1,    1,    1,    1,   1,   1,   1,  1,  1,  1,  1, 1, 1, 1, 1, 1};
constexpr uint32_t kEscape = 63;

int BitLength(uint32_t value) { return value == 0 ? 0 : 32 - __builtin_clz(value); }

}  // namespace

FrameStream::FrameStream(IWordSink& sink) : m_sink(sink) {
  m_buffer.resize(kFlushBytes + 65536);
  m_data = m_buffer.data();
  m_capacity = m_buffer.size();
}

void FrameStream::Grow() {
  m_buffer.resize(m_buffer.size() * 2);
  m_data = m_buffer.data();
  m_capacity = m_buffer.size();
}

void FrameStream::Flush() {
  const size_t whole = m_size & ~size_t(3);
  for (size_t i = 0; i < whole; i += 4) {
    uint8_t* w = m_data + i;
    const uint8_t b0 = w[0], b1 = w[1];
    w[0] = w[3];
    w[1] = w[2];
    w[2] = b1;
    w[3] = b0;
  }
  if (whole > 0 && !m_failed && !m_sink.Consume(m_data, whole)) m_failed = true;
  std::memmove(m_data, m_data + whole, m_size - whole);
  m_size -= whole;
  m_flushed += whole;
}

void FrameStream::Close() {
  PutBytes(0, 4 - uint32_t(Position() & 3));
  Flush();
}

void RangeEncoder::ShiftByte() {
  if (m_low < 0x7F800000u) {
    // The top byte is settled and no carry can reach it: out with the held byte and the 0xFFs.
    m_out.PutByte(uint8_t(m_buffer));
    m_out.PutBytes(0xFF, m_help);
    m_help = 0;
    m_buffer = (m_low >> 23) & 0xFF;
  } else if (m_low & 0x80000000u) {
    // A carry: it lands on the held byte and turns the held 0xFFs into zeros.
    m_out.PutByte(uint8_t(m_buffer + 1));
    m_out.PutBytes(0, m_help);
    m_help = 0;
    m_buffer = (m_low >> 23) & 0xFF;
  } else {
    ++m_help;
  }
  m_low = (m_low << 8) & 0x7FFFFFFFu;
  m_range <<= 8;
}

void RangeEncoder::EncodeValue(int32_t value, uint32_t& kSum) {
  // Zig-zag: 1, -1, 2, -2 ... become 1, 2, 3, 4 ...
  const uint32_t u = value > 0 ? 2 * uint32_t(value) - 1 : 0 - 2 * uint32_t(value);
  const uint32_t pivot = kSum / 32 > 0 ? kSum / 32 : 1;
  kSum += (u + 1) / 2 - ((kSum + 16) >> 5);

  const uint32_t overflow = u / pivot;
  const uint32_t base = u - overflow * pivot;
  if (overflow < kEscape) {
    EncodeFrequency(kRangeWidth[overflow], kRangeTotal[overflow]);
  } else {
    EncodeFrequency(kRangeWidth[kEscape], kRangeTotal[kEscape]);
    EncodeRaw16((overflow >> 16) & 0xFFFF);
    EncodeRaw16(overflow & 0xFFFF);
  }

  if (pivot >= 65536) {
    // The base in two parts, so that the range never divides by more than 2^16 + 1.
    const int splitBits = BitLength(pivot) - 16;
    const uint32_t split = 1u << splitBits;
    EncodeUniform(base >> splitBits, (pivot >> splitBits) + 1);
    EncodeUniform(base & (split - 1), split);
  } else {
    EncodeUniform(base, pivot);
  }
}

void RangeEncoder::Finish() {
  Normalize();
  const uint32_t last = (m_low >> 23) + 1;
  if (last > 0xFF) {
    m_out.PutByte(uint8_t(m_buffer + 1));
    m_out.PutBytes(0, m_help);
  } else {
    m_out.PutByte(uint8_t(m_buffer));
    m_out.PutBytes(0xFF, m_help);
  }
  m_help = 0;
  m_out.PutByte(uint8_t(last));
  m_out.PutBytes(0, 3);
}

}  // namespace korvi::ape
