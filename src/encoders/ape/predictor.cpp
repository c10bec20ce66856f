#include "encoders/ape/predictor.h"

namespace korvi::ape {
namespace {

int32_t Sign(int32_t v) { return (v > 0) - (v < 0); }

}  // namespace

void Predictor::Reset() {
  m_filterA.Reset();
  m_filterB.Reset();
  for (int32_t& t : m_tapA) t = 0;
  for (int32_t& t : m_tapB) t = 0;
  m_lastB = 0;
  m_coefA[0] = 360;
  m_coefA[1] = 317;
  m_coefA[2] = -109;
  m_coefA[3] = 98;
  for (int32_t& c : m_coefB) c = 0;
}

void Predictor::Run(const int32_t* a, const int32_t* b, int32_t* out, int count) {
  if (b)
    RunLoop<true>(a, b, out, count);
  else
    RunLoop<false>(a, b, out, count);
}

template <bool kHasB>
void Predictor::RunLoop(const int32_t* a, const int32_t* b, int32_t* out, int count) {
  int32_t tA0 = m_tapA[0], tA1 = m_tapA[1], tA2 = m_tapA[2], tA3 = m_tapA[3];
  int32_t tB2 = m_tapB[2], tB3 = m_tapB[3], tB4 = m_tapB[4];
  int32_t lastB = m_lastB;
  int32_t cA0 = m_coefA[0], cA1 = m_coefA[1], cA2 = m_coefA[2], cA3 = m_coefA[3];
  int32_t cB0 = m_coefB[0], cB1 = m_coefB[1], cB2 = m_coefB[2], cB3 = m_coefB[3], cB4 = m_coefB[4];
  int32_t tB0 = m_tapB[0], tB1 = m_tapB[1];

  for (int i = 0; i < count; ++i) {
    const int32_t value = m_filterA.Compress(a[i]);
    const int32_t predictionA =
        AddW(AddW(MulW(tA0, cA0), MulW(tA1, cA1)), AddW(MulW(tA2, cA2), MulW(tA3, cA3)));
    int32_t predictionB = 0;
    if constexpr (kHasB) {
      tB0 = m_filterB.Compress(b[i]);
      tB1 = SubW(tB0, lastB);
      lastB = tB0;
      predictionB = AddW(AddW(AddW(MulW(tB0, cB0), MulW(tB1, cB1)), AddW(MulW(tB2, cB2), MulW(tB3, cB3))),
                         MulW(tB4, cB4));
    }
    const int32_t residual = SubW(value, AddW(predictionA, predictionB >> 1) >> 10);

    // Sign-sign adaptation: each weight moves one step toward reducing the residual.
    const int32_t s = Sign(residual);
    cA0 += s * Sign(tA0);
    cA1 += s * Sign(tA1);
    cA2 += s * Sign(tA2);
    cA3 += s * Sign(tA3);
    if constexpr (kHasB) {
      cB0 += s * Sign(tB0);
      cB1 += s * Sign(tB1);
      cB2 += s * Sign(tB2);
      cB3 += s * Sign(tB3);
      cB4 += s * Sign(tB4);
      tB4 = tB3;
      tB3 = tB2;
      tB2 = tB1;
    }
    out[i] = residual;

    tA3 = tA2;
    tA2 = tA1;
    tA1 = SubW(value, tA0);
    tA0 = value;
  }

  m_tapA[0] = tA0;
  m_tapA[1] = tA1;
  m_tapA[2] = tA2;
  m_tapA[3] = tA3;
  m_tapB[0] = tB0;
  m_tapB[1] = tB1;
  m_tapB[2] = tB2;
  m_tapB[3] = tB3;
  m_tapB[4] = tB4;
  m_lastB = lastB;
  m_coefA[0] = cA0;
  m_coefA[1] = cA1;
  m_coefA[2] = cA2;
  m_coefA[3] = cA3;
  m_coefB[0] = cB0;
  m_coefB[1] = cB1;
  m_coefB[2] = cB2;
  m_coefB[3] = cB3;
  m_coefB[4] = cB4;
}

}  // namespace korvi::ape
