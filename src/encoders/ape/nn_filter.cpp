#include "encoders/ape/nn_filter.h"

#include <atomic>
#include <cstring>

namespace korvi::ape {
namespace {

// Samples between two moves of the history to the front of its buffers.
constexpr int kWindow = 2048;
// Weights start on a cache line, for aligned vector loads.
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
  const size_t length = size_t(m_state.end) + kAlignElements;
  m_storage = std::make_unique<int16_t[]>(order + kAlignElements + 3 * length);
  int16_t* p = m_storage.get();
  p +=
      (kAlignElements - (reinterpret_cast<uintptr_t>(p) / sizeof(int16_t)) % kAlignElements) % kAlignElements;
  m_state.weights = p;
  m_state.input = p + order + kAlignElements;
  m_state.delta = m_state.input + length;
  m_state.negDelta = m_state.delta + length;
  Reset();
}

void NNFilter::Reset() {
  std::memset(m_state.weights, 0, sizeof(int16_t) * m_state.order);
  std::memset(m_state.input, 0, sizeof(int16_t) * m_state.order);
  std::memset(m_state.delta, 0, sizeof(int16_t) * m_state.order);
  std::memset(m_state.negDelta, 0, sizeof(int16_t) * m_state.order);
  m_state.index = m_state.order;
  m_state.runningAverage = 0;
}

void NNFilter::Compress(int32_t* data, int count) {
  switch (ActiveNNKernel()) {
#if defined(KORVI_APE_X86_KERNELS)
    case NNKernel::kAvx512:
      RunNNAvx512(m_state, data, count);
      return;
    case NNKernel::kAvx2:
      RunNNAvx2(m_state, data, count);
      return;
#endif
    default:
      RunNNPlain(m_state, data, count);
  }
}

}  // namespace korvi::ape
