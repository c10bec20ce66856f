#pragma once
// The NN filters: sign-LMS filters with 16-bit weights over the saturated 16-bit history of their
// input, from 16 to 1280 taps. They carry most of the work at the high levels, so the inner loops
// come in a plain version and in SIMD versions chosen at run time.

#include <cstdint>
#include <memory>

namespace korvi::ape {

// The state of one filter, as the kernels see it.
struct NNState {
  int order = 0;  // taps, a multiple of 16
  int shift = 0;
  int32_t runningAverage = 0;
  int index = 0;  // where the next sample goes in input/delta/negDelta
  int end = 0;    // length of the three history buffers
  int16_t* weights = nullptr;
  int16_t* input = nullptr;     // saturated input history
  int16_t* delta = nullptr;     // adaptation steps, added when the output is negative
  int16_t* negDelta = nullptr;  // the same negated, added when it is positive
};

enum class NNKernel { kPlain, kAvx2, kAvx512 };

// The kernel in use: the fastest this CPU runs, unless forced.
NNKernel ActiveNNKernel();
// Whether this build and this CPU can run a kernel.
bool NNKernelAvailable(NNKernel kernel);
// Uses a kernel from now on (tests and benchmarks compare them); false when it is not available.
bool ForceNNKernel(NNKernel kernel);
const char* NNKernelName(NNKernel kernel);

class NNFilter {
 public:
  NNFilter(int order, int shift);
  NNFilter(const NNFilter&) = delete;
  NNFilter& operator=(const NNFilter&) = delete;

  void Reset();
  // Replaces each value by its residual, in order.
  void Compress(int32_t* data, int count);

 private:
  NNState m_state;
  std::unique_ptr<int16_t[]> m_storage;
};

// The kernels, each over a run of samples.
void RunNNPlain(NNState& state, int32_t* data, int count);
void RunNNAvx2(NNState& state, int32_t* data, int count);
void RunNNAvx512(NNState& state, int32_t* data, int count);

}  // namespace korvi::ape
