#pragma once
// The frame-data area as the coder produces it: one stream of bytes. In the file, the stream is a
// row of 32-bit little-endian words, each filled from its most significant byte, so every group of
// four bytes is stored reversed.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace korvi::ape {

// Where finished words go: the file, and the MD5 beside it.
class IWordSink {
 public:
  virtual ~IWordSink() = default;
  // The file bytes of whole words. False when they could not be written.
  virtual bool Consume(const uint8_t* bytes, size_t size) = 0;
};

class FrameStream {
 public:
  explicit FrameStream(IWordSink& sink);

  void PutByte(uint8_t value) {
    if (m_size == m_capacity) Grow();
    m_data[m_size++] = value;
  }
  void PutBytes(uint8_t value, uint32_t count) {
    while (count-- > 0) PutByte(value);
  }
  // Four bytes, most significant first.
  void PutWord(uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) PutByte(uint8_t(value >> shift));
  }

  // Bytes produced so far.
  uint64_t Position() const { return m_flushed + m_size; }

  // Hands whole words to the sink once enough have gathered.
  void MaybeFlush() {
    if (m_size >= kFlushBytes) Flush();
  }
  // Hands every whole word to the sink; the bytes of an incomplete word stay.
  void Flush();
  // Ends the stream as decoders expect it: zeros to the end of the word, plus one whole word more
  // when it ended on a word boundary; then everything goes to the sink.
  void Close();

  bool Failed() const { return m_failed; }

 private:
  static constexpr size_t kFlushBytes = 1 << 20;
  void Grow();

  IWordSink& m_sink;
  std::vector<uint8_t> m_buffer;
  uint8_t* m_data = nullptr;
  size_t m_size = 0;
  size_t m_capacity = 0;
  uint64_t m_flushed = 0;
  bool m_failed = false;
};

// The range coder of version 3990: 32-bit low and range, carries through pending 0xFF bytes.
class RangeEncoder {
 public:
  explicit RangeEncoder(FrameStream& out) : m_out(out) {}

  // A frame starts: the coder begins afresh (its first byte out is a zero that decoders skip).
  void Reset() {
    m_low = 0;
    m_range = kTop;
    m_buffer = 0;
    m_help = 0;
  }

  // One residual with its channel's adaptive pivot state (16384 at the start of each frame).
  void EncodeValue(int32_t value, uint32_t& kSum);

  // Ends a frame: the pending bytes and four more.
  void Finish();

 private:
  static constexpr uint32_t kTop = 1u << 31;
  static constexpr uint32_t kBottom = 1u << 23;

  void Normalize() {
    while (m_range <= kBottom) ShiftByte();
  }
  void ShiftByte();
  // A symbol of the fixed 16-bit frequency table.
  void EncodeFrequency(uint32_t width, uint32_t total) {
    Normalize();
    const uint32_t unit = m_range >> 16;
    m_range = unit * width;
    m_low += unit * total;
  }
  // A value spread uniformly over 2^16.
  void EncodeRaw16(uint32_t value) {
    Normalize();
    m_range >>= 16;
    m_low += m_range * value;
  }
  // A value spread uniformly over 0..count-1.
  void EncodeUniform(uint32_t value, uint32_t count) {
    Normalize();
    m_range /= count;
    m_low += m_range * value;
  }

  FrameStream& m_out;
  uint32_t m_low = 0;
  uint32_t m_range = kTop;
  uint32_t m_buffer = 0;
  uint32_t m_help = 0;  // bytes of 0xFF held back until a carry is settled
};

}  // namespace korvi::ape
