// The AVX2 kernel: 16 weights per instruction. Up to 64 taps the weights of both channels stay in
// registers; larger filters keep them in memory. Built with -mavx2 and run only where the CPU has it.

#include <immintrin.h>

#include <cstdint>

#include "encoders/ape/nn_filter.h"

namespace korvi::ape {
namespace {

#include "encoders/ape/nn_filter_loop.h"
#include "encoders/ape/nn_kernel_avx2_parts.h"

}  // namespace

void RunNNAvx2(NNState& a, int32_t* dataA, NNState* b, int32_t* dataB, int count) {
  switch (a.order) {
    case 16:
      return Loop<RegisterWeights<1>>(a, dataA, b, dataB, count);
    case 32:
      return Loop<RegisterWeights<2>>(a, dataA, b, dataB, count);
    case 64:
      return Loop<RegisterWeights<4>>(a, dataA, b, dataB, count);
    default:
      return Loop<MemoryWeights>(a, dataA, b, dataB, count);
  }
}

}  // namespace korvi::ape
