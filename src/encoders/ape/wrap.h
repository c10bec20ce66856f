#pragma once
// 32-bit arithmetic that wraps on overflow, as the format's reference arithmetic does. Signed
// overflow would be undefined in C++; these go through unsigned values instead.

#include <cstdint>

namespace korvi::ape {

inline int32_t AddW(int32_t a, int32_t b) { return int32_t(uint32_t(a) + uint32_t(b)); }
inline int32_t SubW(int32_t a, int32_t b) { return int32_t(uint32_t(a) - uint32_t(b)); }
inline int32_t MulW(int32_t a, int32_t b) { return int32_t(uint32_t(a) * uint32_t(b)); }

}  // namespace korvi::ape
