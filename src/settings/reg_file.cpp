#include "settings/reg_file.h"

#include <algorithm>
#include <cstdio>

#include "text/utf16_text.h"

namespace korvi {

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kBlanks = " \t\r";
// Same wrapping column as regedit, so files stay familiar to anyone who opens them.
constexpr size_t kWrapColumn = 80;

std::string_view TrimRight(std::string_view s) {
  size_t end = s.find_last_not_of(kBlanks);
  return end == std::string_view::npos ? std::string_view() : s.substr(0, end + 1);
}

std::string_view TrimLeft(std::string_view s) {
  size_t begin = s.find_first_not_of(kBlanks);
  return begin == std::string_view::npos ? std::string_view() : s.substr(begin);
}

std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<uint32_t> ParseHexNumber(std::string_view digits) {
  if (digits.empty() || digits.size() > 8) return std::nullopt;
  uint32_t value = 0;
  for (char c : digits) {
    int digit = HexDigit(c);
    if (digit < 0) return std::nullopt;
    value = value << 4 | static_cast<uint32_t>(digit);
  }
  return value;
}

std::optional<std::vector<uint8_t>> ParseHexBytes(std::string_view list) {
  std::vector<uint8_t> bytes;
  if (TrimLeft(list).empty()) return bytes;
  for (;;) {
    size_t comma = list.find(',');
    std::string_view token = TrimLeft(TrimRight(list.substr(0, comma)));
    std::optional<uint32_t> byte = token.size() <= 2 ? ParseHexNumber(token) : std::nullopt;
    if (!byte) return std::nullopt;
    bytes.push_back(static_cast<uint8_t>(*byte));
    if (comma == std::string_view::npos) return bytes;
    list.remove_prefix(comma + 1);
  }
}

// Reads a "..." string starting at `pos`; `pos` ends up just past the closing quote.
std::optional<std::string> ParseQuoted(std::string_view line, size_t& pos) {
  if (pos >= line.size() || line[pos] != '"') return std::nullopt;
  std::string text;
  for (size_t i = pos + 1; i < line.size(); ++i) {
    char c = line[i];
    if (c == '"') {
      pos = i + 1;
      return text;
    }
    if (c == '\\') {
      if (i + 1 >= line.size() || (line[i + 1] != '\\' && line[i + 1] != '"')) return std::nullopt;
      c = line[++i];
    }
    text.push_back(c);
  }
  return std::nullopt;
}

// The value name and the '=' after it; `pos` ends up at the start of the data.
std::optional<std::string> ParseValueName(std::string_view line, size_t& pos) {
  pos = 0;
  std::optional<std::string> name;
  if (!line.empty() && line[0] == '@') {
    name.emplace();
    pos = 1;
  } else {
    name = ParseQuoted(line, pos);
  }
  if (!name) return std::nullopt;
  pos = line.find_first_not_of(kBlanks, pos);
  if (pos == std::string_view::npos || line[pos] != '=') return std::nullopt;
  pos = line.find_first_not_of(kBlanks, pos + 1);
  if (pos == std::string_view::npos) pos = line.size();
  return name;
}

std::optional<RegValue> ParseStringData(std::string_view data) {
  size_t pos = 0;
  std::optional<std::string> text = ParseQuoted(data, pos);
  if (!text || pos != data.size()) return std::nullopt;
  RegValue value{kRegSz, std::vector<uint8_t>(text->begin(), text->end())};
  value.data.push_back(0);
  return value;
}

std::optional<RegValue> ParseDwordData(std::string_view digits) {
  std::optional<uint32_t> number = ParseHexNumber(digits);
  if (!number) return std::nullopt;
  RegValue value{kRegDword, {}};
  for (int shift = 0; shift < 32; shift += 8) value.data.push_back(static_cast<uint8_t>(*number >> shift));
  return value;
}

std::optional<RegValue> ParseHexData(uint32_t type, std::string_view list) {
  std::optional<std::vector<uint8_t>> bytes = ParseHexBytes(list);
  if (!bytes) return std::nullopt;
  if (type != kRegExpandSz) return RegValue{type, std::move(*bytes)};
  std::optional<std::string> utf8 =
      Utf16LeToUtf8(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
  if (!utf8) return std::nullopt;
  return RegValue{type, std::vector<uint8_t>(utf8->begin(), utf8->end())};
}

std::optional<RegValue> ParseData(std::string_view data) {
  if (data.starts_with('"')) return ParseStringData(data);
  if (data.starts_with("dword:")) return ParseDwordData(data.substr(6));
  if (data.starts_with("hex:")) return ParseHexData(kRegBinary, data.substr(4));
  if (!data.starts_with("hex(")) return std::nullopt;
  size_t close = data.find("):");
  if (close == std::string_view::npos) return std::nullopt;
  std::optional<uint32_t> type = ParseHexNumber(data.substr(4, close - 4));
  if (!type) return std::nullopt;
  return ParseHexData(*type, data.substr(close + 2));
}

RegEntry ParseEntry(std::string_view logicalLine, std::string verbatim) {
  RegEntry entry;
  size_t dataPos = 0;
  entry.name = ParseValueName(logicalLine, dataPos);
  if (entry.name) entry.value = ParseData(logicalLine.substr(dataPos));
  if (!entry.value) entry.verbatim = std::move(verbatim);
  return entry;
}

bool IsHexValueLine(std::string_view line) {
  size_t dataPos = 0;
  return ParseValueName(line, dataPos) && line.substr(dataPos).starts_with("hex");
}

// One entry may span several physical lines: regedit wraps hex data with a
// trailing backslash and indents the continuation.
struct LogicalLine {
  std::string text;
  std::string verbatim;
};

// Only an indented line continues an entry. Every line the store writes at the
// start of an entry is unindented, so a kept line ending in a backslash (the last
// line of a file, say) cannot swallow the entry written after it.
bool IsContinuation(std::string_view line) { return line.starts_with(' ') || line.starts_with('\t'); }

// A physical line as it is kept: without the CRs before its end, which reading
// the saved file back would take for part of the line end.
std::string_view Kept(std::string_view line) {
  while (line.ends_with('\r')) line.remove_suffix(1);
  return line;
}

LogicalLine ReadLogicalLine(const std::vector<std::string_view>& lines, size_t& index) {
  // A kept line starts unindented, so that once saved it is never read as a continuation.
  LogicalLine result{std::string(TrimLeft(TrimRight(lines[index]))),
                     std::string(Kept(TrimLeft(lines[index])))};
  while (result.text.ends_with('\\') && index + 1 < lines.size() && IsContinuation(lines[index + 1]) &&
         IsHexValueLine(result.text)) {
    ++index;
    result.text.pop_back();
    result.text += TrimRight(TrimLeft(lines[index]));
    result.verbatim += '\n';
    result.verbatim += Kept(lines[index]);
  }
  return result;
}

std::optional<std::string> KeyHeader(std::string_view line) {
  if (line.size() < 3 || line.front() != '[' || line.back() != ']') return std::nullopt;
  return std::string(line.substr(1, line.size() - 2));
}

std::string Quote(std::string_view text) {
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') quoted += '\\';
    quoted += c;
  }
  quoted += '"';
  return quoted;
}

// REG_SZ data that a "..." line reproduces byte for byte.
bool IsQuotableText(const std::vector<uint8_t>& data) {
  if (data.empty() || data.back() != 0) return false;
  return std::none_of(data.begin(), data.end() - 1,
                      [](uint8_t b) { return b == 0 || b == '\n' || b == '\r'; });
}

std::string FormatHexBytes(size_t column, const std::vector<uint8_t>& bytes) {
  std::string out;
  for (size_t i = 0; i < bytes.size(); ++i) {
    char token[4];
    bool last = i + 1 == bytes.size();
    std::snprintf(token, sizeof token, last ? "%02x" : "%02x,", static_cast<unsigned>(bytes[i]));
    size_t width = last ? 2 : 3;
    if (i > 0 && column + width >= kWrapColumn) {
      out += "\\\n  ";
      column = 2;
    }
    out += token;
    column += width;
  }
  return out;
}

std::string FormatDword(const std::vector<uint8_t>& data) {
  char text[16];
  std::snprintf(text, sizeof text, "dword:%02x%02x%02x%02x", static_cast<unsigned>(data[3]),
                static_cast<unsigned>(data[2]), static_cast<unsigned>(data[1]),
                static_cast<unsigned>(data[0]));
  return text;
}

std::string FormatHexData(size_t column, uint32_t type, const std::vector<uint8_t>& data) {
  char prefix[16];
  std::snprintf(prefix, sizeof prefix, "hex(%x):", static_cast<unsigned>(type));
  std::string head = type == kRegBinary ? "hex:" : prefix;
  if (type != kRegExpandSz) return head + FormatHexBytes(column + head.size(), data);
  // In-memory expandable strings are always valid UTF-8: parsing and setting both check it.
  std::optional<std::string> utf16 =
      Utf8ToUtf16Le(std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
  std::vector<uint8_t> bytes = utf16 ? std::vector<uint8_t>(utf16->begin(), utf16->end()) : data;
  return head + FormatHexBytes(column + head.size(), bytes);
}

std::string FormatData(size_t column, const RegValue& value) {
  const std::vector<uint8_t>& data = value.data;
  if (value.type == kRegSz && IsQuotableText(data))
    return Quote(std::string_view(reinterpret_cast<const char*>(data.data()), data.size() - 1));
  if (value.type == kRegDword && data.size() == 4) return FormatDword(data);
  return FormatHexData(column, value.type, data);
}

std::string FormatEntry(const RegEntry& entry) {
  if (!entry.value || !entry.name) return entry.verbatim;
  std::string line = entry.name->empty() ? "@=" : Quote(*entry.name) + "=";
  return line + FormatData(line.size(), *entry.value);
}

}  // namespace

const RegSection* FindSection(const RegDocument& document, std::string_view keyPath) {
  for (const RegSection& section : document.sections) {
    if (EqualsIgnoringCase(section.keyPath, keyPath)) return &section;
  }
  return nullptr;
}

RegSection& FindOrAddSection(RegDocument& document, std::string_view keyPath) {
  for (RegSection& section : document.sections) {
    if (EqualsIgnoringCase(section.keyPath, keyPath)) return section;
  }
  return document.sections.emplace_back(RegSection{std::string(keyPath), {}});
}

void PutEntry(RegSection& section, RegEntry entry) {
  if (entry.name) {
    for (RegEntry& existing : section.entries) {
      if (existing.name && EqualsIgnoringCase(*existing.name, *entry.name)) {
        existing = std::move(entry);
        return;
      }
    }
  }
  section.entries.push_back(std::move(entry));
}

bool HasRegFileHeader(std::string_view text) {
  if (text.starts_with(kUtf8Bom)) text.remove_prefix(kUtf8Bom.size());
  return TrimRight(text.substr(0, text.find('\n'))) == kRegFileHeader;
}

std::optional<RegDocument> ParseRegFile(std::string_view text) {
  if (!HasRegFileHeader(text)) return std::nullopt;
  std::vector<std::string_view> lines = SplitLines(text);
  RegDocument document;
  RegSection* section = nullptr;
  for (size_t i = 1; i < lines.size(); ++i) {
    LogicalLine line = ReadLogicalLine(lines, i);
    if (line.text.empty()) continue;
    if (std::optional<std::string> key = KeyHeader(line.text))
      section = &FindOrAddSection(document, *key);
    else if (section)
      PutEntry(*section, ParseEntry(line.text, std::move(line.verbatim)));
    else
      document.preamble.push_back(std::move(line.verbatim));
  }
  return document;
}

std::string FormatRegFile(const RegDocument& document) {
  std::string text = std::string(kRegFileHeader) + "\n\n";
  for (const std::string& line : document.preamble) text += line + "\n";
  if (!document.preamble.empty()) text += "\n";
  for (const RegSection& section : document.sections) {
    text += "[" + section.keyPath + "]\n";
    for (const RegEntry& entry : section.entries) text += FormatEntry(entry) + "\n";
    text += "\n";
  }
  return text;
}

}  // namespace korvi
