// UTF-8 <-> UTF-16: for the expandable-string values of the store file, which registry exports
// keep as UTF-16LE bytes, and for the file names that the APE compressor takes.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace korvi {

// nullopt when `utf8` is not well-formed UTF-8 (overlongs and surrogates included).
std::optional<std::u16string> Utf8ToUtf16(std::string_view utf8);

// nullopt for an unpaired surrogate.
std::optional<std::string> Utf16ToUtf8(std::u16string_view utf16);

// The same over little-endian bytes; nullopt also for an odd byte count.
std::optional<std::string> Utf16LeToUtf8(std::string_view utf16le);
std::optional<std::string> Utf8ToUtf16Le(std::string_view utf8);

}  // namespace korvi
