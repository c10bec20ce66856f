#include "settings/utf_convert.h"

#include <cstdint>

#include "text/utf8_text.h"

namespace korvi {

namespace {

void AppendUtf16Le(std::string& out, char32_t cp) {
  auto put = [&out](char32_t unit) {
    out.push_back(static_cast<char>(unit & 0xFF));
    out.push_back(static_cast<char>((unit >> 8) & 0xFF));
  };
  if (cp < 0x10000) {
    put(cp);
  } else {
    cp -= 0x10000;
    put(0xD800 + (cp >> 10));
    put(0xDC00 + (cp & 0x3FF));
  }
}

bool IsHighSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

}  // namespace

std::optional<std::string> Utf16LeToUtf8(std::string_view utf16le) {
  if (utf16le.size() % 2 != 0) return std::nullopt;
  auto unitAt = [&utf16le](size_t i) {
    return static_cast<char32_t>(static_cast<unsigned char>(utf16le[i]) |
                                 static_cast<unsigned char>(utf16le[i + 1]) << 8);
  };
  std::string out;
  for (size_t i = 0; i < utf16le.size(); i += 2) {
    char32_t unit = unitAt(i);
    if (IsLowSurrogate(unit)) return std::nullopt;
    if (IsHighSurrogate(unit)) {
      if (i + 2 >= utf16le.size() || !IsLowSurrogate(unitAt(i + 2))) return std::nullopt;
      i += 2;
      unit = 0x10000 + ((unit - 0xD800) << 10) + (unitAt(i) - 0xDC00);
    }
    AppendUtf8(out, unit);
  }
  return out;
}

std::optional<std::string> Utf8ToUtf16Le(std::string_view utf8) {
  std::string out;
  size_t pos = 0;
  while (pos < utf8.size()) {
    std::optional<char32_t> cp = DecodeUtf8(utf8, pos);
    if (!cp) return std::nullopt;
    AppendUtf16Le(out, *cp);
  }
  return out;
}

}  // namespace korvi
