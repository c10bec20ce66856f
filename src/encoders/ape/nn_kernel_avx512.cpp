// The AVX-512 kernel: 32 weights per instruction (the 16-tap filter uses one AVX2 step). Built with
// -mavx512f -mavx512bw and run only where the CPU has them.

#include <immintrin.h>

#include <cstdint>

#include "encoders/ape/nn_filter.h"

namespace korvi::ape {
namespace {

#include "encoders/ape/nn_filter_loop.h"

struct Avx512Ops {
  static int32_t Dot(const int16_t* a, const int16_t* b, int n) {
    __m512i s0 = _mm512_setzero_si512();
    __m512i s1 = _mm512_setzero_si512();
    int j = 0;
    for (; j + 64 <= n; j += 64) {
      s0 = _mm512_add_epi32(s0, _mm512_madd_epi16(_mm512_loadu_si512(a + j), _mm512_load_si512(b + j)));
      s1 = _mm512_add_epi32(s1,
                            _mm512_madd_epi16(_mm512_loadu_si512(a + j + 32), _mm512_load_si512(b + j + 32)));
    }
    for (; j + 32 <= n; j += 32)
      s0 = _mm512_add_epi32(s0, _mm512_madd_epi16(_mm512_loadu_si512(a + j), _mm512_load_si512(b + j)));
    const __m512i s = _mm512_add_epi32(s0, s1);
    // (Masked extracts: the plain ones trip a false uninitialised-value warning in GCC 12.)
    __m256i h = _mm256_add_epi32(_mm512_maskz_extracti64x4_epi64(0xFF, s, 0),
                                 _mm512_maskz_extracti64x4_epi64(0xFF, s, 1));
    if (j < n)
      h = _mm256_add_epi32(h, _mm256_madd_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(a + j)),
                                                _mm256_load_si256(reinterpret_cast<const __m256i*>(b + j))));
    __m128i q = _mm_add_epi32(_mm256_castsi256_si128(h), _mm256_extracti128_si256(h, 1));
    q = _mm_add_epi32(q, _mm_shuffle_epi32(q, 0x4E));
    q = _mm_add_epi32(q, _mm_shuffle_epi32(q, 0xB1));
    return _mm_cvtsi128_si32(q);
  }
  static void Add(int16_t* w, const int16_t* d, int n) {
    int j = 0;
    for (; j + 32 <= n; j += 32)
      _mm512_store_si512(w + j, _mm512_add_epi16(_mm512_load_si512(w + j), _mm512_loadu_si512(d + j)));
    if (j < n) {
      __m256i* p = reinterpret_cast<__m256i*>(w + j);
      const __m256i step = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(d + j));
      _mm256_store_si256(p, _mm256_add_epi16(_mm256_load_si256(p), step));
    }
  }
};

}  // namespace

void RunNNAvx512(NNState& state, int32_t* data, int count) { RunNNLoop<Avx512Ops>(state, data, count); }

}  // namespace korvi::ape
