#include "rip/file_names.h"

#include <algorithm>

#include "text/utf8_text.h"

namespace korvi {
namespace {

constexpr size_t kNameMaxBytes = 255;

bool LeavesNoName(const std::string& name) {
  return std::all_of(name.begin(), name.end(), [](char c) { return c == '.' || c == ' '; });
}

}  // namespace

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
  std::string path = folder;
  if (!path.empty() && path.back() != '/') path += '/';
  path += TitleToFileName(title, trackNumber, extension.size());
  path += extension;
  return path;
}

}  // namespace korvi
