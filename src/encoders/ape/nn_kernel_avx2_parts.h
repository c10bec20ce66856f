// The AVX2 main loop's parts: 16 weights per instruction. Up to 64 taps the weights stay in
// registers; larger filters keep them in memory. The AVX2 and AVX-512 kernels include this inside
// their anonymous namespaces, after nn_filter_loop.h.

inline __m256i Load(const int16_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }

inline int32_t Sum(__m256i v) {
  __m128i h = _mm_add_epi32(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
  h = _mm_add_epi32(h, _mm_shuffle_epi32(h, 0x4E));
  h = _mm_add_epi32(h, _mm_shuffle_epi32(h, 0xB1));
  return _mm_cvtsi128_si32(h);
}

// StepCorrection (nn_filter_loop.h) for eight positions at once.
inline __m128i Correction(const int16_t* stepAtNMinus8) {
  const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(stepAtNMinus8));
  __m128i seen = _mm_blend_epi16(_mm_srai_epi16(s, 2), _mm_srai_epi16(s, 1), 0x40);
  seen = _mm_blend_epi16(seen, s, 0x80);
  return _mm_sub_epi16(seen, _mm_srai_epi16(s, 3));
}

// A correction in the upper half of a vector whose lower half is zero.
inline __m256i UpperHalf(__m128i c) { return _mm256_inserti128_si256(_mm256_setzero_si256(), c, 1); }

// Weights in kVectors registers.
template <int kVectors>
struct RegisterWeights {
  __m256i w[kVectors];

  explicit RegisterWeights(const int16_t* p) {
    for (int v = 0; v < kVectors; ++v) w[v] = _mm256_load_si256(reinterpret_cast<const __m256i*>(p + 16 * v));
  }
  void Store(int16_t* p) const {
    for (int v = 0; v < kVectors; ++v) _mm256_store_si256(reinterpret_cast<__m256i*>(p + 16 * v), w[v]);
  }
  int32_t Step(const NNState& s, int n, int32_t x) {
    const int16_t* in = s.input + n - 16 * kVectors;
    __m256i acc = _mm256_madd_epi16(Load(in), w[0]);
    for (int v = 1; v < kVectors; ++v)
      acc = _mm256_add_epi32(acc, _mm256_madd_epi16(Load(in + 16 * v), w[v]));
    const int32_t out = Residual(x, Sum(acc), s.shift);
    // Multiplying by −1, 0 or 1 lane by lane: the sign instruction.
    const __m256i sign = _mm256_set1_epi16(AdaptSign(out));
    const int16_t* f = s.finalStep + n - 16 * kVectors;
    for (int v = 0; v < kVectors - 1; ++v)
      w[v] = _mm256_add_epi16(w[v], _mm256_sign_epi16(Load(f + 16 * v), sign));
    const __m256i lastSteps =
        _mm256_add_epi16(Load(f + 16 * (kVectors - 1)), UpperHalf(Correction(s.step + n - 8)));
    w[kVectors - 1] = _mm256_add_epi16(w[kVectors - 1], _mm256_sign_epi16(lastSteps, sign));
    return out;
  }
};

// Weights in memory, for the large filters. Each sample's update is made in the same pass as the
// next sample's dot product, so the weights are read and written once per sample.
struct MemoryWeights {
  int16_t* w;
  int order = 0;
  const int16_t* pending = nullptr;  // the steps window of an update still to be made, or null
  __m256i pendingLast;               // its last 16 steps, corrected

  explicit MemoryWeights(int16_t* p) : w(p) {}
  void Store(int16_t*) {
    if (!pending) return;
    const int last = order - 16;
    for (int j = 0; j < last; j += 16) {
      __m256i* p = reinterpret_cast<__m256i*>(w + j);
      _mm256_store_si256(p, _mm256_add_epi16(_mm256_load_si256(p), Load(pending + j)));
    }
    __m256i* p = reinterpret_cast<__m256i*>(w + last);
    _mm256_store_si256(p, _mm256_add_epi16(_mm256_load_si256(p), pendingLast));
    pending = nullptr;
  }
  __m256i Update(int j, __m256i steps) {
    __m256i* p = reinterpret_cast<__m256i*>(w + j);
    const __m256i v = _mm256_add_epi16(_mm256_load_si256(p), steps);
    _mm256_store_si256(p, v);
    return v;
  }
  int32_t Step(const NNState& s, int n, int32_t x) {
    order = s.order;
    const int last = order - 16;
    const int16_t* in = s.input + n - order;
    __m256i acc0 = _mm256_setzero_si256(), acc1 = _mm256_setzero_si256();
    if (pending) {
      int j = 0;
      for (; j + 32 <= last; j += 32) {
        acc0 = _mm256_add_epi32(acc0, _mm256_madd_epi16(Load(in + j), Update(j, Load(pending + j))));
        acc1 = _mm256_add_epi32(acc1,
                                _mm256_madd_epi16(Load(in + j + 16), Update(j + 16, Load(pending + j + 16))));
      }
      if (j < last)
        acc1 = _mm256_add_epi32(acc1, _mm256_madd_epi16(Load(in + j), Update(j, Load(pending + j))));
      acc0 = _mm256_add_epi32(acc0, _mm256_madd_epi16(Load(in + last), Update(last, pendingLast)));
    } else {
      for (int j = 0; j < order; j += 32) {
        acc0 = _mm256_add_epi32(acc0, _mm256_madd_epi16(Load(in + j), Load(w + j)));
        acc1 = _mm256_add_epi32(acc1, _mm256_madd_epi16(Load(in + j + 16), Load(w + j + 16)));
      }
    }
    const int32_t out = Residual(x, Sum(_mm256_add_epi32(acc0, acc1)), s.shift);
    if (out == 0) {
      pending = nullptr;
      return out;
    }
    // Steps are added where the residual is negative, subtracted where it is positive.
    pending = (out > 0 ? s.negFinalStep : s.finalStep) + n - order;
    __m128i correction = Correction(s.step + n - 8);
    if (out > 0) correction = _mm_sub_epi16(_mm_setzero_si128(), correction);
    pendingLast = _mm256_add_epi16(Load(pending + last), UpperHalf(correction));
    return out;
  }
};

// Runs the filter of one channel, or of two side by side.
template <class Weights>
void Loop(NNState& a, int32_t* dataA, NNState* b, int32_t* dataB, int count) {
  Weights wa(a.weights);
  if (b) {
    Weights wb(b->weights);
    for (int k = 0; k < count; ++k) {
      const int32_t outA = wa.Step(a, a.index + k, dataA[k]);
      const int32_t outB = wb.Step(*b, b->index + k, dataB[k]);
      dataA[k] = outA;
      dataB[k] = outB;
    }
    wb.Store(b->weights);
  } else {
    for (int k = 0; k < count; ++k) dataA[k] = wa.Step(a, a.index + k, dataA[k]);
  }
  wa.Store(a.weights);
}
