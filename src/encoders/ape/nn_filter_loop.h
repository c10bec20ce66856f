#pragma once
// The per-sample loop of an NN filter around the kernel's two vector operations, Dot and Add. Each
// kernel's source includes this inside its own anonymous namespace, built for its own instruction
// set; it must therefore use nothing but plain code and the kernel's own functions (no library
// templates, whose copies from differently built sources the linker could mix).

// Saturates to 16 bits.
inline int16_t Saturate16(int32_t v) { return int16_t(v > 32767 ? 32767 : v < -32768 ? -32768 : v); }

inline int32_t WrapAdd(int32_t a, int32_t b) { return int32_t(uint32_t(a) + uint32_t(b)); }
inline int32_t WrapSub(int32_t a, int32_t b) { return int32_t(uint32_t(a) - uint32_t(b)); }
inline int32_t WrapMul(int32_t a, int32_t b) { return int32_t(uint32_t(a) * uint32_t(b)); }

inline void CopyDown(int16_t* buffer, int from, int count) {
  for (int i = 0; i < count; ++i) buffer[i] = buffer[from + i];
}

template <class Ops>
void RunNNLoop(korvi::ape::NNState& s, int32_t* data, int count) {
  const int order = s.order;
  const int shift = s.shift;
  const int32_t round = int32_t(1) << (shift - 1);
  int16_t* const weights = s.weights;
  int32_t average = s.runningAverage;
  int index = s.index;

  for (int i = 0; i < count; ++i) {
    const int32_t x = data[i];
    int16_t* const in = s.input + index;
    int16_t* const dp = s.delta + index;
    int16_t* const dn = s.negDelta + index;

    const int32_t dot = Ops::Dot(in - order, weights, order);
    const int32_t out = WrapSub(x, WrapAdd(dot, round) >> shift);
    // Sign-LMS: weights move against the residual's sign, by the steps of the inputs.
    if (out != 0) Ops::Add(weights, (out > 0 ? dn : dp) - order, order);

    in[0] = Saturate16(x);
    // The step grows with the input's size against its running average.
    const int32_t magnitude = x < 0 ? WrapSub(0, x) : x;
    int32_t step;
    if (magnitude > WrapMul(average, 3))
      step = ((x >> 25) & 64) - 32;
    else if (magnitude > WrapMul(average, 4) / 3)
      step = ((x >> 26) & 32) - 16;
    else if (magnitude > 0)
      step = ((x >> 27) & 16) - 8;
    else
      step = 0;
    average = WrapAdd(average, WrapSub(magnitude, average) / 16);
    dp[0] = int16_t(step);
    dn[0] = int16_t(-step);
    // Older steps at lags 1, 2 and 8 are halved.
    dp[-1] = int16_t(dp[-1] >> 1);
    dn[-1] = int16_t(-dp[-1]);
    dp[-2] = int16_t(dp[-2] >> 1);
    dn[-2] = int16_t(-dp[-2]);
    dp[-8] = int16_t(dp[-8] >> 1);
    dn[-8] = int16_t(-dp[-8]);

    data[i] = out;
    if (++index == s.end) {
      CopyDown(s.input, index - order, order);
      CopyDown(s.delta, index - order, order);
      CopyDown(s.negDelta, index - order, order);
      index = order;
    }
  }
  s.runningAverage = average;
  s.index = index;
}
