#pragma once
// UTF-8 text as the program keeps it: cut to fixed fields and file names, and kept to one line.

#include <cstddef>
#include <string>
#include <string_view>

namespace korvi {

// The longest prefix of text of at most maxBytes bytes that does not split a UTF-8 character.
std::string_view CutUtf8(std::string_view text, size_t maxBytes);

// Every control character (C0, DEL, and C1 as UTF-8 encodes it: U+0080..U+009F, what Latin-1
// control bytes become) replaced by one replacement character.
std::string ReplaceControls(std::string_view text, char replacement);

}  // namespace korvi
