#include "disc/sector_source.h"

#include <algorithm>

namespace korvi {

void ReadQuality::Merge(const ReadQuality& other) {
  sectorsRead += other.sectorsRead;
  jitterFixes += other.jitterFixes;
  repairs += other.repairs;
  c2Sectors.insert(c2Sectors.end(), other.c2Sectors.begin(), other.c2Sectors.end());
  std::sort(c2Sectors.begin(), c2Sectors.end());
  outOfReach += other.outOfReach;
  unreadable.insert(unreadable.end(), other.unreadable.begin(), other.unreadable.end());
  std::sort(unreadable.begin(), unreadable.end());
}

}  // namespace korvi
