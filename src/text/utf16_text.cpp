#include "text/utf16_text.h"

#include <cstdint>

#include "text/utf8_text.h"

namespace korvi {

namespace {

bool IsHighSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

}  // namespace

std::optional<std::u16string> Utf8ToUtf16(std::string_view utf8) {
  std::u16string out;
  size_t pos = 0;
  while (pos < utf8.size()) {
    std::optional<char32_t> cp = DecodeUtf8(utf8, pos);
    if (!cp) return std::nullopt;
    if (*cp < 0x10000) {
      out.push_back(static_cast<char16_t>(*cp));
    } else {
      const char32_t above = *cp - 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (above >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (above & 0x3FF)));
    }
  }
  return out;
}

std::optional<std::string> Utf16ToUtf8(std::u16string_view utf16) {
  std::string out;
  for (size_t i = 0; i < utf16.size(); ++i) {
    char32_t unit = utf16[i];
    if (IsLowSurrogate(unit)) return std::nullopt;
    if (IsHighSurrogate(unit)) {
      if (i + 1 >= utf16.size() || !IsLowSurrogate(utf16[i + 1])) return std::nullopt;
      ++i;
      unit = 0x10000 + ((unit - 0xD800) << 10) + (char32_t(utf16[i]) - 0xDC00);
    }
    AppendUtf8(out, unit);
  }
  return out;
}

std::optional<std::string> Utf16LeToUtf8(std::string_view utf16le) {
  if (utf16le.size() % 2 != 0) return std::nullopt;
  std::u16string units;
  units.reserve(utf16le.size() / 2);
  for (size_t i = 0; i < utf16le.size(); i += 2)
    units.push_back(static_cast<char16_t>(static_cast<unsigned char>(utf16le[i]) |
                                          static_cast<unsigned char>(utf16le[i + 1]) << 8));
  return Utf16ToUtf8(units);
}

std::optional<std::string> Utf8ToUtf16Le(std::string_view utf8) {
  const std::optional<std::u16string> units = Utf8ToUtf16(utf8);
  if (!units) return std::nullopt;
  std::string out;
  out.reserve(units->size() * 2);
  for (const char16_t unit : *units) {
    out.push_back(static_cast<char>(unit & 0xFF));
    out.push_back(static_cast<char>(unit >> 8));
  }
  return out;
}

}  // namespace korvi
