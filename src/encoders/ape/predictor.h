#pragma once
// The first two prediction stages of one channel: a fixed first-order filter, then an adaptive
// predictor with four taps on this channel's past and five on the other channel's value, adapted
// sign by sign. The NN filters (nn_filter.h) follow it.

#include <cstdint>

#include "encoders/ape/wrap.h"

namespace korvi::ape {

// v − ((previous v × 31) >> 5)
class FirstOrderFilter {
 public:
  void Reset() { m_last = 0; }
  int32_t Compress(int32_t value) {
    const int32_t out = SubW(value, MulW(m_last, 31) >> 5);
    m_last = value;
    return out;
  }

 private:
  int32_t m_last = 0;
};

class Predictor {
 public:
  Predictor() { Reset(); }
  void Reset();

  // out[i] = residual of a[i], predicted from this channel's past and from b[i], the other
  // channel's value (null: none, as for a mono channel). out may be a.
  void Run(const int32_t* a, const int32_t* b, int32_t* out, int count);

 private:
  template <bool kHasB>
  void RunLoop(const int32_t* a, const int32_t* b, int32_t* out, int count);

  FirstOrderFilter m_filterA;
  FirstOrderFilter m_filterB;
  // Taps: this channel's last value and its last three first differences; the other channel's
  // value, its current difference and its last three.
  int32_t m_tapA[4];
  int32_t m_tapB[5];
  int32_t m_lastB;  // the other channel's previous stage-1 value
  int32_t m_coefA[4];
  int32_t m_coefB[5];
};

}  // namespace korvi::ape
