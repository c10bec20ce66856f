#pragma once
// The rip job's limits, for those that take or check its settings (the settings store, the
// settings sheet, korvi-cli) without needing the job itself.

#include <cstdint>

namespace korvi {

// Sectors read from the device in one call.
constexpr int32_t kReadBatchSectors = 26;
// The most tracks encoded at once that the settings and korvi-cli take.
constexpr int32_t kMaxEncoderJobs = 64;
// The fastest read speed, in times real time, that the settings and korvi-cli take (0: the drive's).
constexpr int32_t kMaxReadSpeed = 100;

// The cores this process may run on (a CPU set or taskset counts), at least 1: the encoders of a
// job whose setting is 0.
int CoresAvailable();

}  // namespace korvi
