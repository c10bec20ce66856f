#include "settings/utf_convert.h"

#include <cstdint>

namespace korvi {

namespace {

void AppendUtf8(std::string& out, char32_t cp) {
  auto put = [&out](unsigned value) { out.push_back(static_cast<char>(value)); };
  if (cp < 0x80) {
    put(cp);
  } else if (cp < 0x800) {
    put(0xC0 | (cp >> 6));
    put(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    put(0xE0 | (cp >> 12));
    put(0x80 | ((cp >> 6) & 0x3F));
    put(0x80 | (cp & 0x3F));
  } else {
    put(0xF0 | (cp >> 18));
    put(0x80 | ((cp >> 12) & 0x3F));
    put(0x80 | ((cp >> 6) & 0x3F));
    put(0x80 | (cp & 0x3F));
  }
}

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

// Decodes one code point starting at `pos`; nullopt on malformed input.
std::optional<char32_t> DecodeUtf8(std::string_view text, size_t& pos) {
  auto byte = [&text](size_t i) { return static_cast<unsigned char>(text[i]); };
  unsigned char lead = byte(pos);
  int extra = lead < 0x80                    ? 0
              : lead >= 0xC2 && lead <= 0xDF ? 1
              : (lead & 0xF0) == 0xE0        ? 2
              : lead >= 0xF0 && lead <= 0xF4 ? 3
                                             : -1;
  if (extra < 0 || text.size() - pos <= static_cast<size_t>(extra)) return std::nullopt;
  char32_t cp = extra == 0 ? lead : lead & (0x3F >> extra);
  for (int i = 1; i <= extra; ++i) {
    unsigned char next = byte(pos + static_cast<size_t>(i));
    if ((next & 0xC0) != 0x80) return std::nullopt;
    cp = (cp << 6) | (next & 0x3F);
  }
  static constexpr char32_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
  if (cp < kMinimum[extra] || cp > 0x10FFFF || IsHighSurrogate(cp) || IsLowSurrogate(cp)) return std::nullopt;
  pos += static_cast<size_t>(extra) + 1;
  return cp;
}

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
