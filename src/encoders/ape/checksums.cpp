#include "encoders/ape/checksums.h"

#include <cstring>

namespace korvi::ape {
namespace {

// Slicing by eight: eight table lookups per eight bytes instead of a chain of eight.
struct CrcTables {
  uint32_t t[8][256];
  constexpr CrcTables() : t{} {
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
      t[0][i] = c;
    }
    for (uint32_t i = 0; i < 256; ++i)
      for (int s = 1; s < 8; ++s) t[s][i] = (t[s - 1][i] >> 8) ^ t[0][t[s - 1][i] & 0xFF];
  }
};
constexpr CrcTables kCrc;

uint32_t Load32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

}  // namespace

uint32_t Crc32(const uint8_t* data, size_t size) {
  uint32_t c = 0xFFFFFFFFu;
  while (size >= 8) {
    const uint32_t lo = Load32(data) ^ c;
    const uint32_t hi = Load32(data + 4);
    c = kCrc.t[7][lo & 0xFF] ^ kCrc.t[6][(lo >> 8) & 0xFF] ^ kCrc.t[5][(lo >> 16) & 0xFF] ^
        kCrc.t[4][lo >> 24] ^ kCrc.t[3][hi & 0xFF] ^ kCrc.t[2][(hi >> 8) & 0xFF] ^
        kCrc.t[1][(hi >> 16) & 0xFF] ^ kCrc.t[0][hi >> 24];
    data += 8;
    size -= 8;
  }
  while (size-- > 0) c = (c >> 8) ^ kCrc.t[0][(c ^ *data++) & 0xFF];
  return c ^ 0xFFFFFFFFu;
}

// MD5 as RFC 1321 gives it.
namespace {

constexpr uint32_t Rotl(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

constexpr uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

}  // namespace

Md5::Md5() : m_state{0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476}, m_pending{} {}

namespace {

constexpr uint32_t F1(uint32_t b, uint32_t c, uint32_t d) { return d ^ (b & (c ^ d)); }
constexpr uint32_t F2(uint32_t b, uint32_t c, uint32_t d) { return c ^ (d & (b ^ c)); }
constexpr uint32_t F3(uint32_t b, uint32_t c, uint32_t d) { return b ^ c ^ d; }
constexpr uint32_t F4(uint32_t b, uint32_t c, uint32_t d) { return c ^ (b | ~d); }

}  // namespace

// The 64 steps written out, so that every shift and message index is a constant.
#define KORVI_MD5_STEP(f, a, b, c, d, k, s, t) a = b + Rotl(a + f(b, c, d) + w[k] + t, s)

void Md5::Block(const uint8_t* block) {
  uint32_t w[16];
  for (int i = 0; i < 16; ++i) w[i] = Load32(block + 4 * i);
  uint32_t a = m_state[0], b = m_state[1], c = m_state[2], d = m_state[3];
  for (int i = 0; i < 16; i += 4) {
    KORVI_MD5_STEP(F1, a, b, c, d, i, 7, kSine[i]);
    KORVI_MD5_STEP(F1, d, a, b, c, i + 1, 12, kSine[i + 1]);
    KORVI_MD5_STEP(F1, c, d, a, b, i + 2, 17, kSine[i + 2]);
    KORVI_MD5_STEP(F1, b, c, d, a, i + 3, 22, kSine[i + 3]);
  }
  for (int i = 16; i < 32; i += 4) {
    KORVI_MD5_STEP(F2, a, b, c, d, (5 * i + 1) & 15, 5, kSine[i]);
    KORVI_MD5_STEP(F2, d, a, b, c, (5 * i + 6) & 15, 9, kSine[i + 1]);
    KORVI_MD5_STEP(F2, c, d, a, b, (5 * i + 11) & 15, 14, kSine[i + 2]);
    KORVI_MD5_STEP(F2, b, c, d, a, (5 * i + 16) & 15, 20, kSine[i + 3]);
  }
  for (int i = 32; i < 48; i += 4) {
    KORVI_MD5_STEP(F3, a, b, c, d, (3 * i + 5) & 15, 4, kSine[i]);
    KORVI_MD5_STEP(F3, d, a, b, c, (3 * i + 8) & 15, 11, kSine[i + 1]);
    KORVI_MD5_STEP(F3, c, d, a, b, (3 * i + 11) & 15, 16, kSine[i + 2]);
    KORVI_MD5_STEP(F3, b, c, d, a, (3 * i + 14) & 15, 23, kSine[i + 3]);
  }
  for (int i = 48; i < 64; i += 4) {
    KORVI_MD5_STEP(F4, a, b, c, d, (7 * i) & 15, 6, kSine[i]);
    KORVI_MD5_STEP(F4, d, a, b, c, (7 * i + 7) & 15, 10, kSine[i + 1]);
    KORVI_MD5_STEP(F4, c, d, a, b, (7 * i + 14) & 15, 15, kSine[i + 2]);
    KORVI_MD5_STEP(F4, b, c, d, a, (7 * i + 21) & 15, 21, kSine[i + 3]);
  }
  m_state[0] += a;
  m_state[1] += b;
  m_state[2] += c;
  m_state[3] += d;
}

#undef KORVI_MD5_STEP

void Md5::Update(const void* data, size_t size) {
  if (size == 0) return;
  const uint8_t* p = static_cast<const uint8_t*>(data);
  size_t used = m_bytes & 63;
  m_bytes += size;
  if (used > 0) {
    const size_t take = size < 64 - used ? size : 64 - used;
    std::memcpy(m_pending + used, p, take);
    p += take;
    size -= take;
    if (used + take < 64) return;
    Block(m_pending);
  }
  for (; size >= 64; p += 64, size -= 64) Block(p);
  if (size > 0) std::memcpy(m_pending, p, size);
}

std::array<uint8_t, 16> Md5::Final() {
  const uint64_t bits = m_bytes * 8;
  static const uint8_t kPad[64] = {0x80};
  const size_t used = m_bytes & 63;
  Update(kPad, used < 56 ? 56 - used : 120 - used);
  uint8_t length[8];
  for (int i = 0; i < 8; ++i) length[i] = uint8_t(bits >> (8 * i));
  Update(length, 8);
  std::array<uint8_t, 16> digest;
  for (int i = 0; i < 4; ++i)
    for (int k = 0; k < 4; ++k) digest[4 * i + k] = uint8_t(m_state[i] >> (8 * k));
  return digest;
}

}  // namespace korvi::ape
