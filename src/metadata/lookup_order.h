#pragma once
// The sources a lookup asks after the library, in the user's order. The setting keeps the names
// of the sources that are on, comma-separated; a source left out is off.

#include <string>
#include <string_view>
#include <vector>

namespace korvi {

enum class LookupSource { kMusicBrainz, kCddb, kCdText };

inline constexpr const char* kDefaultLookupOrder = "MusicBrainz,CDDB,CD-Text";

// "MusicBrainz", "CDDB", "CD-Text".
const char* LookupSourceName(LookupSource source);

// Every source, in the default order.
std::vector<LookupSource> AllLookupSources();

// The sources named in text, each once, in its order; names are matched without regard to case or
// blanks. An empty text turns every source off; a text that names no source at all (a damaged
// setting) gives the default order.
std::vector<LookupSource> ParseLookupOrder(std::string_view text);

std::string FormatLookupOrder(const std::vector<LookupSource>& sources);

}  // namespace korvi
