#pragma once
// UTF-8 text as the program keeps it: decoded and checked, made from Latin-1, cut to fixed fields
// and file names, kept to one line, and what servers say made fit to be shown.

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

// The most of a server's words that a message quotes.
inline constexpr size_t kMaxServerTextBytes = 200;

// Text from a server (a status line, a parser's complaint about a reply, a piece of a reply) fit
// for the terminal, the window and the log: every control character (C0, DEL, C1) becomes a
// space, every byte that is not part of well-formed UTF-8 becomes U+FFFD, and the result is cut
// to kMaxServerTextBytes without splitting a character.
std::string SanitizeServerText(std::string_view text);

}  // namespace korvi
