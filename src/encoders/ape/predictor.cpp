#include "encoders/ape/predictor.h"

#include "encoders/ape/wrap.h"

namespace korvi::ape {
namespace {

int32_t Sign(int32_t v) { return (v > 0) - (v < 0); }

// v − ((previous v × 31) >> 5)
int32_t FirstOrder(int32_t value, int32_t& last) {
  const int32_t out = SubW(value, MulW(last, 31) >> 5);
  last = value;
  return out;
}

template <bool kHasB>
inline int32_t Step(Predictor::State& s, int32_t a, int32_t b) {
  const int32_t value = FirstOrder(a, s.lastRawA);
  const int32_t predictionA =
      AddW(AddW(MulW(s.tA0, s.cA0), MulW(s.tA1, s.cA1)), AddW(MulW(s.tA2, s.cA2), MulW(s.tA3, s.cA3)));
  int32_t predictionB = 0;
  if constexpr (kHasB) {
    s.tB0 = FirstOrder(b, s.lastRawB);
    s.tB1 = SubW(s.tB0, s.lastB);
    s.lastB = s.tB0;
    predictionB =
        AddW(AddW(AddW(MulW(s.tB0, s.cB0), MulW(s.tB1, s.cB1)), AddW(MulW(s.tB2, s.cB2), MulW(s.tB3, s.cB3))),
             MulW(s.tB4, s.cB4));
  }
  const int32_t residual = SubW(value, AddW(predictionA, predictionB >> 1) >> 10);

  // Sign-sign adaptation: each weight moves one step toward reducing the residual.
  const int32_t r = Sign(residual);
  s.cA0 += r * Sign(s.tA0);
  s.cA1 += r * Sign(s.tA1);
  s.cA2 += r * Sign(s.tA2);
  s.cA3 += r * Sign(s.tA3);
  if constexpr (kHasB) {
    s.cB0 += r * Sign(s.tB0);
    s.cB1 += r * Sign(s.tB1);
    s.cB2 += r * Sign(s.tB2);
    s.cB3 += r * Sign(s.tB3);
    s.cB4 += r * Sign(s.tB4);
    s.tB4 = s.tB3;
    s.tB3 = s.tB2;
    s.tB2 = s.tB1;
  }
  s.tA3 = s.tA2;
  s.tA2 = s.tA1;
  s.tA1 = SubW(value, s.tA0);
  s.tA0 = value;
  return residual;
}

}  // namespace

void Predictor::Reset() {
  m_state = State{};
  m_state.cA0 = 360;
  m_state.cA1 = 317;
  m_state.cA2 = -109;
  m_state.cA3 = 98;
}

void Predictor::Run(const int32_t* a, const int32_t* b, int32_t* out, int count) {
  State s = m_state;
  if (b) {
    for (int i = 0; i < count; ++i) out[i] = Step<true>(s, a[i], b[i]);
  } else {
    for (int i = 0; i < count; ++i) out[i] = Step<false>(s, a[i], 0);
  }
  m_state = s;
}

void Predictor::RunPair(Predictor& p, const int32_t* pa, const int32_t* pb, int32_t* pOut, Predictor& q,
                        const int32_t* qa, const int32_t* qb, int32_t* qOut, int count) {
  State s = p.m_state, t = q.m_state;
  for (int i = 0; i < count; ++i) {
    const int32_t x = Step<true>(s, pa[i], pb[i]);
    const int32_t y = Step<true>(t, qa[i], qb[i]);
    pOut[i] = x;
    qOut[i] = y;
  }
  p.m_state = s;
  q.m_state = t;
}

}  // namespace korvi::ape
