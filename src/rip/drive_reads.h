#pragma once
// How a rip reads a drive, decided from what was found of it, and what its log says of that.

#include <string>

#include "disc/cd_device.h"
#include "disc/drive_facts.h"

namespace korvi {

// Reads that are compared with each other (secure mode, test and copy) must each reach the disc:
// on a drive whose cache was measured, by FUA where the drive honours it and it gets past the
// cache, else by reading more than the cache holds elsewhere in between. Reads with C2 pointers
// (READ CD) cannot force unit access, so with them it is always the second. A drive where no cache
// was found is read as it is, with no reads elsewhere.
CacheDefeat ChooseCacheDefeat(const DriveCache& cache, const DriveFua& fua, bool c2);

// "defeated by FUA reads", "1200 sectors, defeated by reading elsewhere", "no cache found".
std::string CacheDefeatText(const CacheDefeat& defeat, const DriveCache& cache);

}  // namespace korvi
