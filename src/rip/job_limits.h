#pragma once
// The rip job's limits, for those that take or check its settings (the settings store, the
// settings sheet, korvi-cli) without needing the job itself.

#include <cstdint>

namespace korvi {

// Sectors read from the device in one call.
constexpr int32_t kReadBatchSectors = 26;
// The most tracks encoded at once that the settings and korvi-cli take.
constexpr int32_t kMaxEncoderJobs = 64;

}  // namespace korvi
