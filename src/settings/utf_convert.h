// UTF-8 <-> UTF-16LE for the expandable-string values of the store file,
// which registry exports keep as UTF-16LE bytes.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace korvi {

// nullopt for an odd byte count or an unpaired surrogate.
std::optional<std::string> Utf16LeToUtf8(std::string_view utf16le);

// nullopt when `utf8` is not well-formed UTF-8 (overlongs and surrogates included).
std::optional<std::string> Utf8ToUtf16Le(std::string_view utf8);

}  // namespace korvi
