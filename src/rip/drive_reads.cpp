#include "rip/drive_reads.h"

namespace korvi {

CacheDefeat ChooseCacheDefeat(const DriveCache& cache, const DriveFua& fua, bool c2) {
  CacheDefeat defeat;
  // A FUA read that takes no longer than a cached one may have come from the cache after all.
  defeat.fua = !c2 && cache.cachesAudio && fua.works && fua.bypassesCache;
  if (!defeat.fua && cache.cachesAudio) defeat.cacheSectors = cache.sectors;
  defeat.noCache = cache.measured && !cache.cachesAudio;
  return defeat;
}

std::string CacheDefeatText(const CacheDefeat& defeat, const DriveCache& cache) {
  if (defeat.fua) return "defeated by FUA reads";
  if (defeat.cacheSectors > 0)
    return (cache.sizeIsLowerBound ? "at least " : "") + std::to_string(defeat.cacheSectors) +
           " sectors, defeated by reading elsewhere";
  if (!cache.measured) return "not measured, reading elsewhere between compared reads";
  return "no cache found";
}

}  // namespace korvi
