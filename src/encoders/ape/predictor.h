#pragma once
// The first two prediction stages of one channel: a fixed first-order filter, then an adaptive
// predictor with four taps on this channel's past and five on the other channel's value, adapted
// sign by sign. The NN filters (nn_filter.h) follow it.

#include <cstdint>

namespace korvi::ape {

class Predictor {
 public:
  Predictor() { Reset(); }
  void Reset();

  // out[i] = residual of a[i], predicted from this channel's past and from b[i], the other
  // channel's value (null: none, as for a mono channel). out may be a.
  void Run(const int32_t* a, const int32_t* b, int32_t* out, int count);
  // Two channels' predictors in one loop, so that their chains of dependent steps overlap.
  static void RunPair(Predictor& p, const int32_t* pa, const int32_t* pb, int32_t* pOut, Predictor& q,
                      const int32_t* qa, const int32_t* qb, int32_t* qOut, int count);

  struct State {
    int32_t lastRawA, lastRawB;  // the first-order filters' memory
    // Taps: this channel's last value and its last three first differences; the other channel's
    // value, its current difference and its last three.
    int32_t tA0, tA1, tA2, tA3;
    int32_t tB0, tB1, tB2, tB3, tB4;
    int32_t lastB;  // the other channel's previous stage-1 value
    int32_t cA0, cA1, cA2, cA3;
    int32_t cB0, cB1, cB2, cB3, cB4;
  };

 private:
  State m_state;
};

}  // namespace korvi::ape
