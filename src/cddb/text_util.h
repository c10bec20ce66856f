#pragma once
// Byte-level text helpers for CDDB replies and entries. Everything works on explicit lengths, so a
// zero byte inside a reply is an ordinary character.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace korvi::cddb_text {

// The line at the front of rest, and rest advanced past it. Every "\n" ends a line, and a "\r"
// just before it belongs to the line end, so CRLF, LF and a mix of both split alike; the last
// line needs no end.
std::string_view NextLine(std::string_view& rest);

// Whether rest holds a line end ("\r\n" or "\n") at all.
bool HasLineEnd(std::string_view text);

// Trimmed of white space (blank, tab, CR, LF, VT, FF) at both ends.
std::string_view Trim(std::string_view text);

// A decimal number as atoi reads it: leading white space, an optional sign, the digits up to the
// first other character; 0 without digits. Saturates at the 32-bit limits instead of overflowing.
int32_t ReadDecimal(std::string_view text);

// The leading hexadecimal digits as a number; 0 without digits; nullopt when they do not fit in
// 32 bits.
std::optional<uint32_t> ReadHex(std::string_view text);

// The CDDB status of a reply body: its first three characters as a number, -1 when the body is
// shorter or they are not three digits.
int ReplyStatus(std::string_view body);

// Every occurrence of from replaced by to, scanning left to right without rescanning.
std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to);

}  // namespace korvi::cddb_text
