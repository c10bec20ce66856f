// The AVX-512 kernel: the 1280-tap filter with 32 weights per instruction, the smaller ones with the
// AVX2 loops. Built with -mavx512f -mavx512bw and run only where the CPU has them.

#include <immintrin.h>

#include <cstdint>

#include "encoders/ape/nn_filter.h"

namespace korvi::ape {
namespace {

#include "encoders/ape/nn_filter_loop.h"
#include "encoders/ape/nn_kernel_avx2_parts.h"

namespace wide {

__m512i Load(const int16_t* p) { return _mm512_loadu_si512(p); }

int32_t Sum(__m512i v) {
  // (Masked extracts: the plain ones trip a false uninitialised-value warning in GCC 12.)
  return ::korvi::ape::Sum(_mm256_add_epi32(_mm512_maskz_extracti64x4_epi64(0xFF, v, 0),
                                            _mm512_maskz_extracti64x4_epi64(0xFF, v, 1)));
}

// Weights in memory, for the 1280-tap filter. Each sample's update is made in the same pass as the
// next sample's dot product, so the weights are read and written once per sample.
struct MemoryWeights {
  int16_t* w;
  const int16_t* pending = nullptr;  // the steps window of an update still to be made, or null
  __m512i pendingLast;               // its last 32 steps, corrected

  explicit MemoryWeights(int16_t* p) : w(p) {}
  void Store(int16_t*) {
    if (!pending) return;
    const int last = order - 32;
    for (int j = 0; j < last; j += 32)
      _mm512_store_si512(w + j, _mm512_add_epi16(_mm512_load_si512(w + j), Load(pending + j)));
    _mm512_store_si512(w + last, _mm512_add_epi16(_mm512_load_si512(w + last), pendingLast));
    pending = nullptr;
  }
  int32_t Step(const NNState& s, int n, int32_t x) {
    order = s.order;
    const int last = order - 32;
    const int16_t* in = s.input + n - order;
    __m512i acc0 = _mm512_setzero_si512(), acc1 = _mm512_setzero_si512();
    if (pending) {
      int j = 0;
      for (; j + 64 <= last; j += 64) {
        const __m512i v0 = _mm512_add_epi16(_mm512_load_si512(w + j), Load(pending + j));
        const __m512i v1 = _mm512_add_epi16(_mm512_load_si512(w + j + 32), Load(pending + j + 32));
        _mm512_store_si512(w + j, v0);
        _mm512_store_si512(w + j + 32, v1);
        acc0 = _mm512_add_epi32(acc0, _mm512_madd_epi16(Load(in + j), v0));
        acc1 = _mm512_add_epi32(acc1, _mm512_madd_epi16(Load(in + j + 32), v1));
      }
      if (j < last) {
        const __m512i v = _mm512_add_epi16(_mm512_load_si512(w + j), Load(pending + j));
        _mm512_store_si512(w + j, v);
        acc1 = _mm512_add_epi32(acc1, _mm512_madd_epi16(Load(in + j), v));
      }
      const __m512i v = _mm512_add_epi16(_mm512_load_si512(w + last), pendingLast);
      _mm512_store_si512(w + last, v);
      acc0 = _mm512_add_epi32(acc0, _mm512_madd_epi16(Load(in + last), v));
    } else {
      for (int j = 0; j < order; j += 64) {
        acc0 = _mm512_add_epi32(acc0, _mm512_madd_epi16(Load(in + j), _mm512_load_si512(w + j)));
        acc1 = _mm512_add_epi32(acc1, _mm512_madd_epi16(Load(in + j + 32), _mm512_load_si512(w + j + 32)));
      }
    }
    const int32_t out = Residual(x, Sum(_mm512_add_epi32(acc0, acc1)), s.shift);
    if (out == 0) {
      pending = nullptr;
      return out;
    }
    // Steps are added where the residual is negative, subtracted where it is positive.
    pending = (out > 0 ? s.negFinalStep : s.finalStep) + n - order;
    __m128i correction = Correction(s.step + n - 8);
    if (out > 0) correction = _mm_sub_epi16(_mm_setzero_si128(), correction);
    pendingLast =
        _mm512_add_epi16(Load(pending + last), _mm512_inserti32x4(_mm512_setzero_si512(), correction, 3));
    return out;
  }

  int order = 0;
};

}  // namespace wide
}  // namespace

void RunNNAvx512(NNState& a, int32_t* dataA, NNState* b, int32_t* dataB, int count) {
  // Measured: up to 256 taps the AVX2 loops are as fast or faster (the 512-bit forms pay for their
  // masked updates); the 1280-tap filter gains from the width.
  switch (a.order) {
    case 16:
      return Loop<RegisterWeights<1>>(a, dataA, b, dataB, count);
    case 32:
      return Loop<RegisterWeights<2>>(a, dataA, b, dataB, count);
    case 64:
      return Loop<RegisterWeights<4>>(a, dataA, b, dataB, count);
    case 256:
      return Loop<MemoryWeights>(a, dataA, b, dataB, count);
    default:
      return Loop<wide::MemoryWeights>(a, dataA, b, dataB, count);
  }
}

}  // namespace korvi::ape
