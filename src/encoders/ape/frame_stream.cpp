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
constexpr uint32_t kBottom = 1u << 23;

// Bytes a value can produce at most: five coding steps, each of which narrows the range by at most
// 17 bits and so needs at most three bytes out to widen it again.
constexpr size_t kMaxBytesPerValue = 16;

int BitLength(uint32_t value) { return value == 0 ? 0 : 32 - __builtin_clz(value); }

// The coder's registers while it works on a run, with the output pointer beside them. A local
// copy: the byte stores cannot alias it, so it stays in registers.
struct Coder {
  uint32_t low, range, buffer, help;
  uint8_t* out;

  void ShiftByte() {
    if (low < 0x7F800000u) {
      // The top byte is settled and no carry can reach it: out with the held byte and the 0xFFs.
      *out++ = uint8_t(buffer);
      for (; help > 0; --help) *out++ = 0xFF;
      buffer = (low >> 23) & 0xFF;
    } else if (low & 0x80000000u) {
      // A carry: it lands on the held byte and turns the held 0xFFs into zeros.
      *out++ = uint8_t(buffer + 1);
      for (; help > 0; --help) *out++ = 0;
      buffer = (low >> 23) & 0xFF;
    } else {
      ++help;
    }
    low = (low << 8) & 0x7FFFFFFFu;
    range <<= 8;
  }
  void Normalize() {
    while (range <= kBottom) ShiftByte();
  }
  // A symbol of the fixed 16-bit frequency table.
  void EncodeFrequency(uint32_t width, uint32_t total) {
    Normalize();
    const uint32_t unit = range >> 16;
    range = unit * width;
    low += unit * total;
  }
  // A value spread uniformly over 2^16.
  void EncodeRaw16(uint32_t value) {
    Normalize();
    range >>= 16;
    low += range * value;
  }
  // A value spread uniformly over 0..count-1.
  void EncodeUniform(uint32_t value, uint32_t count) {
    Normalize();
    range /= count;
    low += range * value;
  }

  void EncodeValue(int32_t value, uint32_t& kSum) {
    // Zig-zag: 1, -1, 2, -2 ... become 1, 2, 3, 4 ...
    const uint32_t u = value > 0 ? 2 * uint32_t(value) - 1 : 0 - 2 * uint32_t(value);
    const uint32_t pivot = kSum >= 32 ? kSum >> 5 : 1;
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
    if (pivot < 65536) {
      EncodeUniform(base, pivot);
    } else {
      // The base in two parts, so that the range never divides by more than 2^16 + 1.
      const int splitBits = BitLength(pivot) - 16;
      EncodeUniform(base >> splitBits, (pivot >> splitBits) + 1);
      EncodeUniform(base & ((1u << splitBits) - 1), 1u << splitBits);
    }
  }
};

}  // namespace

FrameStream::FrameStream(IWordSink& sink) : m_sink(sink) {}

void FrameStream::Grow(size_t bytes) {
  m_buffer.resize(m_buffer.size() + bytes + m_buffer.size() / 2);
  m_data = m_buffer.data();
  m_capacity = m_buffer.size();
}

void FrameStream::Flush() {
  const size_t whole = m_size & ~size_t(3);
  for (size_t i = 0; i < whole; i += 4) {
    uint32_t word;
    std::memcpy(&word, m_data + i, 4);
    word = __builtin_bswap32(word);
    std::memcpy(m_data + i, &word, 4);
  }
  if (whole > 0 && !m_failed && !m_sink.Consume(m_data, whole)) m_failed = true;
  std::memmove(m_data, m_data + whole, m_size - whole);
  m_size -= whole;
  m_flushed += whole;
}

void FrameStream::Close() {
  const size_t zeros = 4 - size_t(Position() & 3);
  uint8_t* p = Reserve(zeros);
  std::memset(p, 0, zeros);
  Commit(p + zeros);
  Flush();
}

void RangeEncoder::Encode(const int32_t* a, uint32_t& kSumA, const int32_t* b, uint32_t& kSumB, int count) {
  const size_t values = size_t(count) * (b ? 2 : 1);
  Coder c{m_state.low, m_state.range, m_state.buffer, m_state.help,
          m_out.Reserve(values * kMaxBytesPerValue + m_state.help + 16)};
  uint32_t ka = kSumA, kb = kSumB;
  if (b) {
    for (int i = 0; i < count; ++i) {
      c.EncodeValue(a[i], ka);
      c.EncodeValue(b[i], kb);
    }
  } else {
    for (int i = 0; i < count; ++i) c.EncodeValue(a[i], ka);
  }
  kSumA = ka;
  kSumB = kb;
  m_out.Commit(c.out);
  m_state = State{c.low, c.range, c.buffer, c.help};
}

void RangeEncoder::Finish() {
  Coder c{m_state.low, m_state.range, m_state.buffer, m_state.help, m_out.Reserve(m_state.help + 16)};
  c.Normalize();
  const uint32_t last = (c.low >> 23) + 1;
  if (last > 0xFF) {
    *c.out++ = uint8_t(c.buffer + 1);
    for (; c.help > 0; --c.help) *c.out++ = 0;
  } else {
    *c.out++ = uint8_t(c.buffer);
    for (; c.help > 0; --c.help) *c.out++ = 0xFF;
  }
  *c.out++ = uint8_t(last);
  for (int i = 0; i < 3; ++i) *c.out++ = 0;
  m_out.Commit(c.out);
  m_state = State{c.low, c.range, c.buffer, c.help};
}

}  // namespace korvi::ape
