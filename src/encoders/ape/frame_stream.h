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
  // Whole words go to the sink once this many bytes have gathered.
  static constexpr size_t kFlushBytes = 1 << 20;

  // Allocates nothing until the first Reserve.
  explicit FrameStream(IWordSink& sink);

  // Room for at least `bytes` more: where they go. Commit says where they ended.
  uint8_t* Reserve(size_t bytes) {
    if (m_capacity - m_size < bytes) Grow(bytes);
    return m_data + m_size;
  }
  void Commit(const uint8_t* end) { m_size = size_t(end - m_data); }

  // Four bytes, most significant first.
  void PutWord(uint32_t value) {
    uint8_t* p = Reserve(4);
    for (int shift = 24; shift >= 0; shift -= 8) *p++ = uint8_t(value >> shift);
    Commit(p);
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
  void Grow(size_t bytes);

  IWordSink& m_sink;
  std::vector<uint8_t> m_buffer;
  uint8_t* m_data = nullptr;
  size_t m_size = 0;
  size_t m_capacity = 0;
  uint64_t m_flushed = 0;
  bool m_failed = false;
};

// The range coder of version 3990: 32-bit low and range, carries through pending 0xFF bytes; each
// residual's overflow over an adaptive pivot goes through a fixed frequency table, the rest
// uniformly.
class RangeEncoder {
 public:
  explicit RangeEncoder(FrameStream& out) : m_out(out) {}

  // A frame starts: the coder begins afresh (its first byte out is a zero that decoders skip).
  void Reset() { m_state = State{}; }

  // Codes a[0], b[0], a[1], b[1] ... with each channel's pivot state (16384 when a frame starts);
  // with b null, a alone.
  void Encode(const int32_t* a, uint32_t& kSumA, const int32_t* b, uint32_t& kSumB, int count);

  // Ends a frame: the pending bytes and four more.
  void Finish();

 private:
  struct State {
    uint32_t low = 0;
    uint32_t range = 1u << 31;
    uint32_t buffer = 0;
    uint32_t help = 0;  // bytes of 0xFF held back until a carry is settled
  };

  FrameStream& m_out;
  State m_state;
};

}  // namespace korvi::ape
