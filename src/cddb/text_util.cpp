#include "cddb/text_util.h"

#include <limits>

namespace korvi::cddb_text {
namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// The length of the well-formed UTF-8 sequence at the front of text, 0 when there is none.
size_t Utf8SequenceLength(std::string_view text) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  size_t length = 0;
  unsigned char min2 = 0x80, max2 = 0xBF;  // the allowed range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) min2 = 0xA0;  // overlong
    if (lead == 0xED) max2 = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) min2 = 0x90;  // overlong
    if (lead == 0xF4) max2 = 0x8F;  // above U+10FFFF
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  if (byte(1) < min2 || byte(1) > max2) return 0;
  for (size_t i = 2; i < length; ++i)
    if (!IsContinuation(byte(i))) return 0;
  return length;
}

}  // namespace

std::string_view NextLine(std::string_view& rest) {
  const size_t end = rest.find('\n');
  if (end == std::string_view::npos) {
    const std::string_view line = rest;
    rest = {};
    return line;
  }
  std::string_view line = rest.substr(0, end);
  rest.remove_prefix(end + 1);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

bool HasLineEnd(std::string_view text) { return text.find('\n') != std::string_view::npos; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  return text;
}

int32_t ReadDecimal(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int64_t value = 0;
  constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
    if (value < kLimit) value = value * 10 + (text[i] - '0');
  if (negative) return static_cast<int32_t>(value >= kLimit ? -kLimit : -value);
  return static_cast<int32_t>(value >= kLimit ? kLimit - 1 : value);
}

std::optional<uint32_t> ReadHex(std::string_view text) {
  uint64_t value = 0;
  for (char c : text) {
    const int digit = HexValue(c);
    if (digit < 0) break;
    value = value * 16 + static_cast<uint64_t>(digit);
    if (value > std::numeric_limits<uint32_t>::max()) return std::nullopt;
  }
  return static_cast<uint32_t>(value);
}

int ReplyStatus(std::string_view body) {
  if (body.size() < 3) return -1;
  int status = 0;
  for (size_t i = 0; i < 3; ++i) {
    if (body[i] < '0' || body[i] > '9') return -1;
    status = status * 10 + (body[i] - '0');
  }
  return status;
}

std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
  std::string result;
  result.reserve(text.size());
  for (size_t pos = 0;;) {
    const size_t found = text.find(from, pos);
    if (found == std::string_view::npos || from.empty()) {
      result.append(text.substr(pos));
      return result;
    }
    result.append(text.substr(pos, found - pos)).append(to);
    pos = found + from.size();
  }
}

bool IsValidUtf8(std::string_view text) {
  while (!text.empty()) {
    const size_t length = Utf8SequenceLength(text);
    if (length == 0) return false;
    text.remove_prefix(length);
  }
  return true;
}

std::string Latin1ToUtf8(std::string_view text) {
  std::string result;
  result.reserve(text.size() * 2);
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      result += c;
    } else {
      result += static_cast<char>(0xC0 | (byte >> 6));
      result += static_cast<char>(0x80 | (byte & 0x3F));
    }
  }
  return result;
}

std::string ToUtf8(std::string_view text) {
  return IsValidUtf8(text) ? std::string(text) : Latin1ToUtf8(text);
}

}  // namespace korvi::cddb_text
