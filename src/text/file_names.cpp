#include "text/file_names.h"

#include <algorithm>
#include <set>

#include "text/ascii_case.h"
#include "text/utf8_text.h"

namespace korvi {
namespace {

constexpr size_t kNameMaxBytes = 255;

std::string InFolder(const std::string& folder, const std::string& name) {
  std::string path = folder;
  if (!path.empty() && path.back() != '/') path += '/';
  return path + name;
}

}  // namespace

bool LeavesNoName(std::string_view name) {
  return std::all_of(name.begin(), name.end(), [](char c) { return c == '.' || c == ' '; });
}

std::string TitleToFileName(const std::string& title, int trackNumber, size_t extensionBytes) {
  std::string name = ReplaceControls(title, '_');
  for (char& c : name)
    if (c == '/' || c == '?' || c == '*' || c == '"') c = '_';
  if (LeavesNoName(name)) name = "Track " + std::to_string(trackNumber);
  if (name.front() == '.') name.front() = '_';
  const size_t room = kNameMaxBytes > extensionBytes ? kNameMaxBytes - extensionBytes : 1;
  return std::string(CutUtf8(name, room));
}

std::string OutputPath(const std::string& folder, const std::string& title, int trackNumber,
                       const std::string& extension) {
  return InFolder(folder, TitleToFileName(title, trackNumber, extension.size()) + extension);
}

std::vector<std::string> UniqueOutputPaths(const std::string& folder, const std::vector<TitledTrack>& tracks,
                                           const std::string& extension) {
  std::vector<std::string> paths;
  std::set<std::string> taken;
  for (const TitledTrack& track : tracks) {
    const std::string name = TitleToFileName(track.title, track.number, extension.size());
    std::string unique = name + extension;
    for (int copy = 2; !taken.insert(AsciiLowered(unique)).second; ++copy) {
      const std::string suffix = " (" + std::to_string(copy) + ")" + extension;
      const size_t room = kNameMaxBytes > suffix.size() ? kNameMaxBytes - suffix.size() : 1;
      unique = std::string(CutUtf8(name, room)) + suffix;
    }
    paths.push_back(InFolder(folder, unique));
  }
  return paths;
}

}  // namespace korvi
