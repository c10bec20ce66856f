// The plain kernel: portable C++, for any CPU.

#include <cstdint>

#include "encoders/ape/nn_filter.h"

namespace korvi::ape {
namespace {

#include "encoders/ape/nn_filter_loop.h"

int32_t Dot(const int16_t* a, const int16_t* b, int n) {
  uint32_t sum = 0;  // wraps, as the vector kernels do
  for (int j = 0; j < n; ++j) sum += uint32_t(int32_t(a[j]) * int32_t(b[j]));
  return int32_t(sum);
}

void Filter(NNState& s, int32_t* data, int count) {
  const int order = s.order;
  int16_t* const w = s.weights;
  for (int k = 0; k < count; ++k) {
    const int n = s.index + k;
    const int32_t out = Residual(data[k], Dot(s.input + n - order, w, order), s.shift);
    data[k] = out;
    const int16_t sign = AdaptSign(out);
    if (sign == 0) continue;
    const int16_t* f = s.finalStep + n - order;
    for (int j = 0; j < order - 8; ++j) w[j] = int16_t(w[j] + sign * f[j]);
    int16_t correction[8];
    StepCorrection(s.step + n - 8, correction);
    for (int j = order - 8; j < order; ++j) w[j] = int16_t(w[j] + sign * (f[j] + correction[j - order + 8]));
  }
}

}  // namespace

// Plain code gains nothing from interleaving the two channels.
void RunNNPlain(NNState& a, int32_t* dataA, NNState* b, int32_t* dataB, int count) {
  Filter(a, dataA, count);
  if (b) Filter(*b, dataB, count);
}

}  // namespace korvi::ape
