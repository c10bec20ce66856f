#pragma once
// UTF-8 text as the program keeps it: decoded and checked, made from Latin-1, cut to fixed fields
// and file names, and kept to one line.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace korvi {

// The code point of the well-formed UTF-8 sequence at pos, with pos moved past it; nullopt (pos
// unchanged) for a sequence that is malformed, overlong, a surrogate, above U+10FFFF or cut short.
std::optional<char32_t> DecodeUtf8(std::string_view text, size_t& pos);

// Appends a code point (not a surrogate, at most U+10FFFF) as UTF-8.
void AppendUtf8(std::string& out, char32_t cp);

// Well-formed UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsValidUtf8(std::string_view text);

// Each byte as the Latin-1 character of that number.
std::string Latin1ToUtf8(std::string_view text);

// The text itself when it is valid UTF-8, else its bytes read as Latin-1.
std::string ToUtf8(std::string_view text);

// The longest prefix of text of at most maxBytes bytes that does not split a UTF-8 character.
std::string_view CutUtf8(std::string_view text, size_t maxBytes);

// Every control character (C0, DEL, and C1 as UTF-8 encodes it: U+0080..U+009F, what Latin-1
// control bytes become) replaced by one replacement character.
std::string ReplaceControls(std::string_view text, char replacement);

}  // namespace korvi
