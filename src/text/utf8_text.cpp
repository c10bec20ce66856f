#include "text/utf8_text.h"

namespace korvi {

std::optional<char32_t> DecodeUtf8(std::string_view text, size_t& pos) {
  const auto byte = [&text](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(pos);
  const int extra = lead < 0x80                    ? 0
                    : lead >= 0xC2 && lead <= 0xDF ? 1
                    : (lead & 0xF0) == 0xE0        ? 2
                    : lead >= 0xF0 && lead <= 0xF4 ? 3
                                                   : -1;
  if (extra < 0 || text.size() - pos <= static_cast<size_t>(extra)) return std::nullopt;
  char32_t cp = extra == 0 ? lead : lead & (0x3F >> extra);
  for (int i = 1; i <= extra; ++i) {
    const unsigned char next = byte(pos + static_cast<size_t>(i));
    if ((next & 0xC0) != 0x80) return std::nullopt;
    cp = (cp << 6) | (next & 0x3F);
  }
  static constexpr char32_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
  if (cp < kMinimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return std::nullopt;
  pos += static_cast<size_t>(extra) + 1;
  return cp;
}

void AppendUtf8(std::string& out, char32_t cp) {
  const auto put = [&out](char32_t value) { out.push_back(static_cast<char>(value)); };
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

bool IsValidUtf8(std::string_view text) {
  size_t pos = 0;
  while (pos < text.size())
    if (!DecodeUtf8(text, pos)) return false;
  return true;
}

std::string Latin1ToUtf8(std::string_view text) {
  std::string result;
  result.reserve(text.size() * 2);
  for (const char c : text) AppendUtf8(result, static_cast<unsigned char>(c));
  return result;
}

std::string ToUtf8(std::string_view text) {
  return IsValidUtf8(text) ? std::string(text) : Latin1ToUtf8(text);
}

std::string_view CutUtf8(std::string_view text, size_t maxBytes) {
  if (text.size() <= maxBytes) return text;
  size_t end = maxBytes;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

std::string ReplaceControls(std::string_view text, char replacement) {
  std::string result;
  result.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
    const bool c1 = byte == 0xC2 && next >= 0x80 && next <= 0x9F;
    if (byte < 0x20 || byte == 0x7F || c1) {
      result += replacement;
      i += c1 ? 1 : 0;
    } else {
      result += text[i];
    }
  }
  return result;
}

std::string SanitizeServerText(std::string_view text) {
  static constexpr char32_t kReplacement = 0xFFFD;
  std::string result;
  // A character is at most 4 bytes: past this, nothing more can survive the cut.
  for (size_t pos = 0; pos < text.size() && result.size() <= kMaxServerTextBytes + 4;) {
    const std::optional<char32_t> cp = DecodeUtf8(text, pos);
    if (!cp) {
      AppendUtf8(result, kReplacement);
      ++pos;
    } else if (*cp < 0x20 || (*cp >= 0x7F && *cp <= 0x9F)) {
      result += ' ';
    } else {
      AppendUtf8(result, *cp);
    }
  }
  return std::string(CutUtf8(result, kMaxServerTextBytes));
}

}  // namespace korvi
