#include "encoders/ape/nn_filter.h"

#include <atomic>
#include <cstring>

#include "encoders/ape/wrap.h"

namespace korvi::ape {
namespace {

// Positions between two moves of the history to the front of the buffers.
constexpr int kWindow = 2 * kMaxNNRun;
// Weights start on a 64-byte boundary, for aligned vector loads.
constexpr int kAlignElements = 32;

bool CpuHas([[maybe_unused]] NNKernel kernel) {
#if defined(__x86_64__) || defined(__i386__)
  if (kernel == NNKernel::kAvx2) return __builtin_cpu_supports("avx2");
  if (kernel == NNKernel::kAvx512)
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw");
#endif
  return kernel == NNKernel::kPlain;
}

NNKernel Fastest() {
  if (NNKernelAvailable(NNKernel::kAvx512)) return NNKernel::kAvx512;
  if (NNKernelAvailable(NNKernel::kAvx2)) return NNKernel::kAvx2;
  return NNKernel::kPlain;
}

std::atomic<NNKernel>& Active() {
  static std::atomic<NNKernel> active{Fastest()};
  return active;
}

int16_t Saturate16(int32_t v) {
  const int32_t high = v < 32767 ? v : 32767;
  return int16_t(high > -32768 ? high : -32768);
}

// The step an input earns: larger when it stands out against the running average, which it then
// updates. Written with masks rather than branches, which would be mispredicted half the time.
int16_t Step(int32_t x, int32_t& average) {
  const int32_t negative = x >> 31;  // all ones for x < 0
  const int32_t magnitude = SubW(x ^ negative, negative);
  const int32_t large = -int32_t(magnitude > MulW(average, 3));
  const int32_t medium = -int32_t(magnitude > MulW(average, 4) / 3);
  const int32_t small = -int32_t(magnitude > 0);
  const int32_t size = (large & 32) | (~large & ((medium & 16) | (~medium & small & 8)));
  average = AddW(average, SubW(magnitude, average) / 16);
  return int16_t((size ^ ~negative) - ~negative);  // +size for a negative input, else −size
}

void RunKernel(NNState& a, int32_t* dataA, NNState* b, int32_t* dataB, int count) {
  switch (ActiveNNKernel()) {
#if defined(KORVI_APE_X86_KERNELS)
    case NNKernel::kAvx512:
      RunNNAvx512(a, dataA, b, dataB, count);
      return;
    case NNKernel::kAvx2:
      RunNNAvx2(a, dataA, b, dataB, count);
      return;
#endif
    default:
      RunNNPlain(a, dataA, b, dataB, count);
  }
}

}  // namespace

bool NNKernelAvailable(NNKernel kernel) {
#if !defined(KORVI_APE_X86_KERNELS)
  if (kernel != NNKernel::kPlain) return false;
#endif
  return CpuHas(kernel);
}

NNKernel ActiveNNKernel() { return Active().load(std::memory_order_relaxed); }

bool ForceNNKernel(NNKernel kernel) {
  if (!NNKernelAvailable(kernel)) return false;
  Active().store(kernel, std::memory_order_relaxed);
  return true;
}

const char* NNKernelName(NNKernel kernel) {
  switch (kernel) {
    case NNKernel::kAvx2:
      return "avx2";
    case NNKernel::kAvx512:
      return "avx512";
    case NNKernel::kPlain:
      break;
  }
  return "plain";
}

NNFilter::NNFilter(int order, int shift) {
  m_state.order = order;
  m_state.shift = shift;
  m_state.end = order + kWindow;
  // Weights, then the four buffers, each with room to align it and to read a vector past its end.
  const size_t length = size_t(m_state.end) + kAlignElements;
  m_storage = std::make_unique<int16_t[]>(size_t(order) + 2 * kAlignElements + 4 * length);
  int16_t* p = m_storage.get();
  p +=
      (kAlignElements - (reinterpret_cast<uintptr_t>(p) / sizeof(int16_t)) % kAlignElements) % kAlignElements;
  m_state.weights = p;
  m_state.input = p + order + kAlignElements;
  m_state.step = m_state.input + length;
  m_state.finalStep = m_state.step + length;
  m_state.negFinalStep = m_state.finalStep + length;
  Reset();
}

void NNFilter::Reset() {
  std::memset(m_state.weights, 0, sizeof(int16_t) * m_state.order);
  std::memset(m_state.input, 0, sizeof(int16_t) * m_state.order);
  std::memset(m_state.step, 0, sizeof(int16_t) * m_state.order);
  std::memset(m_state.finalStep, 0, sizeof(int16_t) * m_state.order);
  std::memset(m_state.negFinalStep, 0, sizeof(int16_t) * m_state.order);
  m_state.index = m_state.order;
  m_state.runningAverage = 0;
}

void NNFilter::Prepare(const int32_t* data, int count) {
  NNState& s = m_state;
  if (s.index + count > s.end) {
    // Keep the last `order` positions: all that the next updates look back at.
    const size_t keep = sizeof(int16_t) * size_t(s.order);
    const int from = s.index - s.order;
    std::memmove(s.input, s.input + from, keep);
    std::memmove(s.step, s.step + from, keep);
    std::memmove(s.finalStep, s.finalStep + from, keep);
    std::memmove(s.negFinalStep, s.negFinalStep + from, keep);
    s.index = s.order;
  }
  int32_t average = s.runningAverage;
  for (int k = 0; k < count; ++k) {
    const int n = s.index + k;
    s.input[n] = Saturate16(data[k]);
    s.step[n] = Step(data[k], average);
    s.finalStep[n] = int16_t(s.step[n] >> 3);
    s.negFinalStep[n] = int16_t(-s.finalStep[n]);
  }
  s.runningAverage = average;
}

void NNFilter::Compress(int32_t* data, int count) {
  Prepare(data, count);
  RunKernel(m_state, data, nullptr, nullptr, count);
  m_state.index += count;
}

void NNFilter::CompressPair(NNFilter& a, int32_t* dataA, NNFilter& b, int32_t* dataB, int count) {
  a.Prepare(dataA, count);
  b.Prepare(dataB, count);
  RunKernel(a.m_state, dataA, &b.m_state, dataB, count);
  a.m_state.index += count;
  b.m_state.index += count;
}

}  // namespace korvi::ape
