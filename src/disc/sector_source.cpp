#include "disc/sector_source.h"

#include <algorithm>

namespace korvi {

void ReadQuality::Merge(const ReadQuality& other) {
  sectorsRead += other.sectorsRead;
  jitterFixes += other.jitterFixes;
  repairs += other.repairs;
  outOfReach += other.outOfReach;
  unreadable.insert(unreadable.end(), other.unreadable.begin(), other.unreadable.end());
  std::sort(unreadable.begin(), unreadable.end());
}

}  // namespace korvi
