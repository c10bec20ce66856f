#pragma once
// The NN filters: sign-LMS filters with 16-bit weights over the saturated 16-bit history of their
// input, from 16 to 1280 taps. They carry most of the work at the high levels.
//
// How the work is laid out for speed: a filter's inputs are known before it runs (they are the
// previous stage's outputs), and so are its adaptation steps, which depend on the inputs alone. A
// run of samples is therefore prepared first: saturated inputs and steps go into buffers that the
// main loop only reads, so the loop's one chain of dependent work is dot product, residual, weight
// update. The main loops come in a plain version and in SIMD versions chosen at run time, and they
// run the two channels' filters side by side, so that their chains overlap.

#include <cstdint>
#include <memory>

namespace korvi::ape {

// The most samples one call takes.
constexpr int kMaxNNRun = 4096;

// The state of one filter, as the kernels see it. Buffers are indexed by sample position; the
// weights start on a 64-byte boundary.
struct NNState {
  int order = 0;  // taps, a multiple of 16
  int shift = 0;
  int32_t runningAverage = 0;
  int index = 0;  // position of the next sample
  int end = 0;    // length of the buffers
  int16_t* weights = nullptr;
  int16_t* input = nullptr;         // saturated inputs
  int16_t* step = nullptr;          // each position's adaptation step as it is first set
  int16_t* finalStep = nullptr;     // the same after its three halvings (at lags 1, 2 and 8): step >> 3
  int16_t* negFinalStep = nullptr;  // −finalStep, for updates that subtract
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
  // Replaces each value by its residual, in order; count ≤ kMaxNNRun.
  void Compress(int32_t* data, int count);
  // Two filters of the same size, one per channel, side by side.
  static void CompressPair(NNFilter& a, int32_t* dataA, NNFilter& b, int32_t* dataB, int count);

 private:
  void Prepare(const int32_t* data, int count);

  NNState m_state;
  std::unique_ptr<int16_t[]> m_storage;
};

// The main loops: residuals for the prepared positions index .. index+count-1 of a (and of b when
// not null), weights adapted; they leave index alone.
void RunNNPlain(NNState& a, int32_t* dataA, NNState* b, int32_t* dataB, int count);
void RunNNAvx2(NNState& a, int32_t* dataA, NNState* b, int32_t* dataB, int count);
void RunNNAvx512(NNState& a, int32_t* dataA, NNState* b, int32_t* dataB, int count);

}  // namespace korvi::ape
