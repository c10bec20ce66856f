#include "rip/file_names.h"

#include <algorithm>

namespace korvi {
namespace {

constexpr size_t kNameMaxBytes = 255;

bool LeavesNoName(const std::string& name) {
  return std::all_of(name.begin(), name.end(), [](char c) { return c == '.' || c == ' '; });
}

// The longest prefix of at most max bytes that does not split a UTF-8 character.
std::string CutUtf8(const std::string& text, size_t max) {
  if (text.size() <= max) return text;
  size_t end = max;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

}  // namespace

std::string SanitizeFileName(const std::string& path) {
  std::string result = path;
  std::replace(result.begin(), result.end(), '?', '_');
  std::replace(result.begin(), result.end(), '*', '_');
  return result;
}

std::string TitleToFileName(const std::string& title, int trackNumber, size_t extensionBytes) {
  std::string name;
  name.reserve(title.size());
  for (size_t i = 0; i < title.size(); ++i) {
    const char c = title[i];
    const auto u = static_cast<unsigned char>(c);
    // U+0080..U+009F, what Latin-1 control bytes become in UTF-8: one character, one '_'.
    const auto next = i + 1 < title.size() ? static_cast<unsigned char>(title[i + 1]) : 0;
    const bool c1 = u == 0xC2 && next >= 0x80 && next <= 0x9F;
    if (c == '/' || c == '?' || c == '*' || u < 0x20 || u == 0x7F || c1) {
      name += '_';
      i += c1 ? 1 : 0;
    } else {
      name += c;
    }
  }
  if (LeavesNoName(name)) name = "Track " + std::to_string(trackNumber);
  if (name.front() == '.') name.front() = '_';
  const size_t room = kNameMaxBytes > extensionBytes ? kNameMaxBytes - extensionBytes : 1;
  return CutUtf8(name, room);
}

std::string OutputPath(const std::string& folder, const std::string& title, int trackNumber,
                       const std::string& extension) {
  std::string path = folder;
  if (!path.empty() && path.back() != '/') path += '/';
  path += TitleToFileName(title, trackNumber, extension.size());
  path += extension;
  return SanitizeFileName(path);
}

}  // namespace korvi
