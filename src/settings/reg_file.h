// The text format of registry export files, as the settings store keeps it on disk:
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_CURRENT_USER\Some\Key]
//   "Text"="C:\\path with \"quotes\""       REG_SZ, data = UTF-8 text + NUL
//   "Number"=dword:000000c0                 REG_DWORD, 1 to 8 hex digits
//   "Blob"=hex:01,02,\                      REG_BINARY, continued on the next,
//     03                                    indented line
//   "Path"=hex(2):24,00,48,00,00,00         REG_EXPAND_SZ, UTF-16LE in the file
//   "Other"=hex(b):01,00,00,00,00,00,00,00  any other type by number, raw bytes
//
// REG_EXPAND_SZ data is held in memory as UTF-8 (terminating NUL included when
// the file has one), so byte-length limits apply to the UTF-8 form; it is
// converted back to UTF-16LE on write. Every other type keeps its raw bytes.
//
// A line that cannot be read as a value (bad escape, over-long or non-hex dword,
// bad hex byte, odd-length or broken UTF-16, a deletion "=-", a comment) is kept
// verbatim so that saving round-trips it (less its indentation), and queries see
// that value as absent.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "text/ascii_case.h"

namespace korvi {

inline constexpr uint32_t kRegNone = 0;
inline constexpr uint32_t kRegSz = 1;
inline constexpr uint32_t kRegExpandSz = 2;
inline constexpr uint32_t kRegBinary = 3;
inline constexpr uint32_t kRegDword = 4;
inline constexpr uint32_t kRegMultiSz = 7;
inline constexpr uint32_t kRegQword = 11;

inline constexpr std::string_view kRegFileHeader = "Windows Registry Editor Version 5.00";

struct RegValue {
  uint32_t type = kRegNone;
  std::vector<uint8_t> data;

  bool operator==(const RegValue&) const = default;
};

struct RegEntry {
  std::optional<std::string> name;  // "" is the default value "@"; nullopt when unreadable
  std::optional<RegValue> value;    // nullopt: an unreadable line kept in `verbatim`
  std::string verbatim;
};

struct RegSection {
  std::string keyPath;
  std::vector<RegEntry> entries;
};

struct RegDocument {
  std::vector<std::string> preamble;  // unreadable lines before the first key
  std::vector<RegSection> sections;
};

// Key paths and value names compare ignoring ASCII case, as on the platform.
const RegSection* FindSection(const RegDocument& document, std::string_view keyPath);
RegSection& FindOrAddSection(RegDocument& document, std::string_view keyPath);
// Replaces the entry of the same name in place, or appends.
void PutEntry(RegSection& section, RegEntry entry);

bool HasRegFileHeader(std::string_view text);

// nullopt when the text does not start with the header line. A key that appears
// twice is merged into its first section; a value that appears twice keeps the
// later data, as importing the file would.
std::optional<RegDocument> ParseRegFile(std::string_view text);

std::string FormatRegFile(const RegDocument& document);

}  // namespace korvi
