#include "text/utf8_text.h"

namespace korvi {

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

}  // namespace korvi
