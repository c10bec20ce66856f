#pragma once
// ASCII case, for the names and keywords of file formats, protocols and the settings store: only
// A-Z and a-z fold, so that no locale changes what a name matches and UTF-8 passes unchanged.

#include <string>
#include <string_view>

namespace korvi {

inline char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
inline char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

std::string AsciiLowered(std::string_view text);
std::string AsciiUppered(std::string_view text);

bool EqualsIgnoringCase(std::string_view a, std::string_view b);
bool StartsWithIgnoringCase(std::string_view text, std::string_view head);
bool EndsWithIgnoringCase(std::string_view text, std::string_view tail);

}  // namespace korvi
