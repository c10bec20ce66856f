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

}  // namespace korvi::cddb_text
