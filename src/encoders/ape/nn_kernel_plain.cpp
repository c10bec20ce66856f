// The plain kernel: portable C++, for any CPU.

#include <cstdint>

#include "encoders/ape/nn_filter.h"

namespace korvi::ape {
namespace {

#include "encoders/ape/nn_filter_loop.h"

struct PlainOps {
  static int32_t Dot(const int16_t* a, const int16_t* b, int n) {
    uint32_t sum = 0;  // wraps, as the vector kernels do
    for (int j = 0; j < n; ++j) sum += uint32_t(int32_t(a[j]) * int32_t(b[j]));
    return int32_t(sum);
  }
  static void Add(int16_t* w, const int16_t* d, int n) {
    for (int j = 0; j < n; ++j) w[j] = int16_t(w[j] + d[j]);
  }
};

}  // namespace

void RunNNPlain(NNState& state, int32_t* data, int count) { RunNNLoop<PlainOps>(state, data, count); }

}  // namespace korvi::ape
