#include "metadata/lookup_order.h"

#include <algorithm>
#include <cctype>
#include <optional>

#include "text/ascii_case.h"

namespace korvi {
namespace {

// Lower case without blanks, so that " cd-text" and "CD-Text" are one name.
std::string Folded(std::string_view text) {
  std::string out;
  for (char c : text)
    if (!std::isspace(static_cast<unsigned char>(c))) out += AsciiLower(c);
  return out;
}

std::optional<LookupSource> SourceNamed(std::string_view name) {
  const std::string folded = Folded(name);
  for (LookupSource source : AllLookupSources())
    if (folded == Folded(LookupSourceName(source))) return source;
  return std::nullopt;
}

}  // namespace

const char* LookupSourceName(LookupSource source) {
  switch (source) {
    case LookupSource::kMusicBrainz:
      return "MusicBrainz";
    case LookupSource::kCddb:
      return "CDDB";
    case LookupSource::kCdText:
      return "CD-Text";
  }
  return "";
}

std::vector<LookupSource> AllLookupSources() {
  return {LookupSource::kMusicBrainz, LookupSource::kCddb, LookupSource::kCdText};
}

std::vector<LookupSource> ParseLookupOrder(std::string_view text) {
  std::vector<LookupSource> sources;
  if (Folded(text).empty()) return sources;
  size_t start = 0;
  for (;;) {
    const size_t comma = text.find(',', start);
    const auto source = SourceNamed(text.substr(start, comma == std::string_view::npos ? comma : comma - start));
    if (source && std::find(sources.begin(), sources.end(), *source) == sources.end()) sources.push_back(*source);
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return sources.empty() ? ParseLookupOrder(kDefaultLookupOrder) : sources;
}

std::string FormatLookupOrder(const std::vector<LookupSource>& sources) {
  std::string text;
  for (LookupSource source : sources) {
    if (!text.empty()) text += ',';
    text += LookupSourceName(source);
  }
  return text;
}

}  // namespace korvi
