// The NN filters, whose kernels precompute and reorder the work, against a plain transcription of
// the filter as the format defines it, sample by sample; with every kernel this machine runs.

#include <gtest/gtest.h>

#include <vector>

#include "ape_test_support.h"
#include "encoders/ape/nn_filter.h"
#include "fixtures/temp_dir.h"

namespace korvi::apetest {
namespace {

using ape::NNFilter;
using ape::NNKernel;

// The filter as defined: a history of saturated inputs, a history of adaptation steps of which the
// ones at lags 1, 2 and 8 are halved after each sample, 16-bit weights moved against the sign of
// each residual, and 32-bit arithmetic that wraps.
class ReferenceFilter {
 public:
  ReferenceFilter(int order, int shift)
      : m_order(order), m_shift(shift), m_weights(order), m_input(order), m_steps(order) {}

  int32_t Compress(int32_t x) {
    const size_t base = m_input.size() - m_order;
    uint32_t dot = 0;
    for (int j = 0; j < m_order; ++j) dot += uint32_t(int32_t(m_input[base + j]) * m_weights[j]);
    const int32_t out = int32_t(uint32_t(x) - uint32_t(int32_t(dot + (1u << (m_shift - 1))) >> m_shift));
    for (int j = 0; j < m_order; ++j) {
      if (out > 0) m_weights[j] = int16_t(m_weights[j] - m_steps[base + j]);
      if (out < 0) m_weights[j] = int16_t(m_weights[j] + m_steps[base + j]);
    }
    m_input.push_back(int16_t(x > 32767 ? 32767 : x < -32768 ? -32768 : x));
    const int32_t magnitude = x < 0 ? int32_t(0u - uint32_t(x)) : x;
    int16_t step = 0;
    if (magnitude > int32_t(uint32_t(m_average) * 3u))
      step = int16_t(((x >> 25) & 64) - 32);
    else if (magnitude > int32_t(uint32_t(m_average) * 4u) / 3)
      step = int16_t(((x >> 26) & 32) - 16);
    else if (magnitude > 0)
      step = int16_t(((x >> 27) & 16) - 8);
    m_average =
        int32_t(uint32_t(m_average) + uint32_t(int32_t(uint32_t(magnitude) - uint32_t(m_average)) / 16));
    m_steps.push_back(step);
    const size_t now = m_steps.size() - 1;
    for (size_t lag : {1, 2, 8}) m_steps[now - lag] = int16_t(m_steps[now - lag] >> 1);
    return out;
  }

 private:
  int m_order, m_shift;
  int32_t m_average = 0;
  std::vector<int16_t> m_weights, m_input, m_steps;
};

// Inputs that reach every corner: quiet and loud noise, values far past 16 bits (saturated in the
// history), silence, and a long run of one large value that drives the weights past 16 bits so
// that they wrap.
std::vector<int32_t> Inputs(uint32_t seed) {
  std::vector<int32_t> v;
  uint32_t x = seed;
  auto next = [&x] { return x = x * 1664525u + 1013904223u; };
  for (int i = 0; i < 3000; ++i) v.push_back(int32_t(next() >> 20) - 2048);
  for (int i = 0; i < 2000; ++i) v.push_back(int32_t(next()) >> 8);
  for (int i = 0; i < 700; ++i) v.push_back(0);
  for (int i = 0; i < 40000; ++i) v.push_back(1 << 24);
  for (int i = 0; i < 3000; ++i) v.push_back(int32_t(next()) >> (next() % 31));
  return v;
}

struct Shape {
  int order, shift;
};
constexpr Shape kShapes[] = {{16, 11}, {32, 10}, {64, 11}, {256, 13}, {1280, 15}};

class ApeNNFilter : public testing::TestWithParam<NNKernel> {
 protected:
  void SetUp() override {
    m_saved = ape::ActiveNNKernel();
    if (!ape::ForceNNKernel(GetParam())) GTEST_SKIP() << "this CPU lacks the kernel";
  }
  void TearDown() override { ape::ForceNNKernel(m_saved); }

 private:
  NNKernel m_saved = NNKernel::kPlain;
};

TEST_P(ApeNNFilter, EveryKernelComputesTheDefinedResiduals) {
  for (const Shape& shape : kShapes) {
    SCOPED_TRACE(shape.order);
    const std::vector<int32_t> a = Inputs(1), b = Inputs(2);
    ReferenceFilter referenceA(shape.order, shape.shift), referenceB(shape.order, shape.shift);
    std::vector<int32_t> expectedA, expectedB;
    for (int32_t x : a) expectedA.push_back(referenceA.Compress(x));
    for (int32_t x : b) expectedB.push_back(referenceB.Compress(x));

    // One channel, then two side by side, in runs of varied sizes.
    NNFilter single(shape.order, shape.shift), pairA(shape.order, shape.shift), pairB(shape.order, shape.shift);
    std::vector<int32_t> gotSingle = a, gotA = a, gotB = b;
    const int sizes[] = {1, 7, ape::kMaxNNRun, 333, ape::kMaxNNRun - 1};
    for (size_t at = 0, i = 0; at < a.size(); ++i) {
      const int count = int(std::min<size_t>(size_t(sizes[i % 5]), a.size() - at));
      single.Compress(gotSingle.data() + at, count);
      NNFilter::CompressPair(pairA, gotA.data() + at, pairB, gotB.data() + at, count);
      at += size_t(count);
    }
    EXPECT_TRUE(gotSingle == expectedA);
    EXPECT_TRUE(gotA == expectedA);
    EXPECT_TRUE(gotB == expectedB);

    // After a reset the filter starts afresh.
    single.Reset();
    std::vector<int32_t> again(a.begin(), a.begin() + 5000);
    single.Compress(again.data(), 4096);
    single.Compress(again.data() + 4096, 904);
    EXPECT_TRUE(std::equal(again.begin(), again.end(), expectedA.begin()));
  }
}

TEST_P(ApeNNFilter, EveryKernelWritesTheSameFiles) {
  fixtures::TempDir dir;
  const Pcm pcm = Concat({Music(20000), WhiteNoise(3000), IdenticalChannels(2000)});
  for (int level : {2000, 3000, 4000, 5000}) {
    SCOPED_TRACE(level);
    ASSERT_TRUE(ape::ForceNNKernel(NNKernel::kPlain));
    ASSERT_EQ(EncodeOurs(dir / "plain.ape", pcm, level), "");
    ASSERT_TRUE(ape::ForceNNKernel(GetParam()));
    ASSERT_EQ(EncodeOurs(dir / "kernel.ape", pcm, level), "");
    EXPECT_TRUE(ReadFile(dir / "plain.ape") == ReadFile(dir / "kernel.ape"));
  }
}

INSTANTIATE_TEST_SUITE_P(Kernels, ApeNNFilter,
                         testing::Values(NNKernel::kPlain, NNKernel::kAvx2, NNKernel::kAvx512),
                         [](const testing::TestParamInfo<NNKernel>& info) {
                           return ape::NNKernelName(info.param);
                         });

}  // namespace
}  // namespace korvi::apetest
