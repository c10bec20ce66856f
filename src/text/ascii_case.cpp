#include "text/ascii_case.h"

#include <algorithm>

namespace korvi {

std::string AsciiLowered(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = AsciiLower(c);
  return out;
}

std::string AsciiUppered(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = AsciiUpper(c);
  return out;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}

bool StartsWithIgnoringCase(std::string_view text, std::string_view head) {
  return text.size() >= head.size() && EqualsIgnoringCase(text.substr(0, head.size()), head);
}

bool EndsWithIgnoringCase(std::string_view text, std::string_view tail) {
  return text.size() >= tail.size() && EqualsIgnoringCase(text.substr(text.size() - tail.size()), tail);
}

}  // namespace korvi
