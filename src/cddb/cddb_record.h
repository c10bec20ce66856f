#pragma once
// One CDDB database entry as the xmcd parser fills it. All text is UTF-8.

#include <cstdint>
#include <string>
#include <vector>

namespace korvi {

struct CCDDBRecord {
  std::vector<int32_t> trackFrameOffsets;
  int32_t discLength = 0;  // seconds
  int32_t revision = 0;
  std::string clientName;  // the words of "Submitted via:"
  std::string clientVersion;
  std::string clientRemark;
  uint32_t discId = 0;
  std::string discArtist;
  std::string discTitle;
  std::vector<std::string> trackTitles;  // index = track number - 1
  std::string extendedDiscData;
  std::vector<std::string> extendedTrackData;  // index = track number - 1
  std::vector<int32_t> playOrder;
  int32_t year = 0;
  std::string genre;

  bool operator==(const CCDDBRecord&) const = default;
};

}  // namespace korvi
