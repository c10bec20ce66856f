// The AVX2 kernel: 16 weights per instruction. Built with -mavx2 and run only where the CPU has it.

#include <immintrin.h>

#include <cstdint>

#include "encoders/ape/nn_filter.h"

namespace korvi::ape {
namespace {

#include "encoders/ape/nn_filter_loop.h"

struct Avx2Ops {
  // Weights are aligned; the history window moves by one sample, so it is not.
  static int32_t Dot(const int16_t* a, const int16_t* b, int n) {
    __m256i s0 = _mm256_setzero_si256();
    __m256i s1 = _mm256_setzero_si256();
    int j = 0;
    for (; j + 32 <= n; j += 32) {
      const __m256i a0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a + j));
      const __m256i a1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a + j + 16));
      s0 = _mm256_add_epi32(
          s0, _mm256_madd_epi16(a0, _mm256_load_si256(reinterpret_cast<const __m256i*>(b + j))));
      s1 = _mm256_add_epi32(
          s1, _mm256_madd_epi16(a1, _mm256_load_si256(reinterpret_cast<const __m256i*>(b + j + 16))));
    }
    if (j < n) {
      const __m256i a0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a + j));
      s0 = _mm256_add_epi32(
          s0, _mm256_madd_epi16(a0, _mm256_load_si256(reinterpret_cast<const __m256i*>(b + j))));
    }
    const __m256i s = _mm256_add_epi32(s0, s1);
    __m128i h = _mm_add_epi32(_mm256_castsi256_si128(s), _mm256_extracti128_si256(s, 1));
    h = _mm_add_epi32(h, _mm_shuffle_epi32(h, 0x4E));
    h = _mm_add_epi32(h, _mm_shuffle_epi32(h, 0xB1));
    return _mm_cvtsi128_si32(h);
  }
  static void Add(int16_t* w, const int16_t* d, int n) {
    for (int j = 0; j < n; j += 16) {
      __m256i* p = reinterpret_cast<__m256i*>(w + j);
      const __m256i step = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(d + j));
      _mm256_store_si256(p, _mm256_add_epi16(_mm256_load_si256(p), step));
    }
  }
};

}  // namespace

void RunNNAvx2(NNState& state, int32_t* data, int count) { RunNNLoop<Avx2Ops>(state, data, count); }

}  // namespace korvi::ape
