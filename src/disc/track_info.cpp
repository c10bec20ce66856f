#include "disc/track_info.h"

#include <cstdio>

#include "disc/cdrom_toc.h"

namespace korvi {

std::string LengthText(int32_t begin, int32_t end) {
  // 64-bit so that a nonsense range from a hand-edited sector column cannot overflow.
  const int64_t seconds = (static_cast<int64_t>(end) - begin) / kSectorsPerSecond;
  char text[64];
  std::snprintf(text, sizeof text, "%lld:%lld:%lld", static_cast<long long>(seconds / 3600),
                static_cast<long long>((seconds / 60) % 60), static_cast<long long>(seconds % 60));
  return text;
}

CTrackInfo::CTrackInfo(int32_t begin, int32_t end, const char* title)
    : m_begin(begin), m_end(end), m_title(title ? title : "") {}

}  // namespace korvi
