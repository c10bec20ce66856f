#pragma once
// What every kernel's main loop shares. Each kernel's source includes this inside its own anonymous
// namespace, built for its own instruction set, so it must use nothing but plain code (no library
// templates, whose copies from differently built sources the linker could mix).

inline int32_t WrapAdd(int32_t a, int32_t b) { return int32_t(uint32_t(a) + uint32_t(b)); }
inline int32_t WrapSub(int32_t a, int32_t b) { return int32_t(uint32_t(a) - uint32_t(b)); }

// The residual of input x against the filter's dot product.
inline int32_t Residual(int32_t x, int32_t dot, int shift) {
  return WrapSub(x, WrapAdd(dot, int32_t(1) << (shift - 1)) >> shift);
}

// The adaptation step of position p as the update at position n > p sees it: halved once when
// p = n − 2 and twice for n − 8 ≤ p ≤ n − 3; from n − 9 on it is final (step >> 3, halved three
// times). So the window of steps an update adds is finalStep, plus this correction on its last
// eight positions n − 8 .. n − 1.
inline void StepCorrection(const int16_t* stepAtNMinus8, int16_t out[8]) {
  for (int k = 0; k < 8; ++k) {
    const int16_t s = stepAtNMinus8[k];
    const int16_t seen = int16_t(k == 7 ? s : k == 6 ? s >> 1 : s >> 2);
    out[k] = int16_t(seen - (s >> 3));
  }
}

// −sign(out): the weights move against the residual's sign.
inline int16_t AdaptSign(int32_t out) { return int16_t((out < 0) - (out > 0)); }
