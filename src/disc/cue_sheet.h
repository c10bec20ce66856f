#pragma once
// A cue sheet read into what it says, without touching its files: the FILE lines with their
// types, the tracks with their indexes in the file each index lies in, PREGAP and POSTGAP, the
// sessions, and the disc's text (the CD-Text keywords, CATALOG, ISRC and the REM lines).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "disc/cd_text.h"
#include "disc/image_file.h"

namespace korvi {

// A larger text is not a cue sheet; reading stops there.
constexpr size_t kMaxCueSheetBytes = 1 << 20;

struct CueFileEntry {
  std::string name;  // as the FILE line gives it
  ImageFileType type = ImageFileType::kBinary;
};

struct CueIndex {
  int number = 1;     // 0 to 99
  size_t file = 0;    // the FILE the index lies in
  int32_t frame = 0;  // sectors from the start of that file
};

struct CueTrack {
  int number = 1;
  bool audio = true;              // AUDIO; MODE1/2352, MODE2/2352 and any mode after the audio are data
  std::vector<CueIndex> indexes;  // in the order of the sheet
  int32_t pregap = 0;             // PREGAP: sectors of silence before INDEX 01, in no file
  int32_t postgap = 0;            // POSTGAP: sectors of silence after the track, in no file
  int session = 1;                // from the REM SESSION line before it
  bool preEmphasis = false;       // FLAGS PRE
  // A data track after the audio that the sheet only names, with an INDEX 00 but no INDEX 01 (as
  // rippers write the data track of an enhanced CD): its sectors are in no file, and the audio
  // before it ends at its first index.
  bool placeholder = false;
};

struct CueSheet {
  std::vector<CueFileEntry> files;
  std::vector<CueTrack> tracks;
  DiscText text;  // text.tracks: one entry per track
};

// Parses the text of a cue sheet; keywords in any letter case. Nullopt, with the cause in *error
// ("line N: ..."), when it is no cue sheet that can be read: too large, no track, a track without
// INDEX 01 (but for a placeholder), an index or track before any FILE, a FILE of a type that holds
// no CD audio, a track of a mode other than AUDIO, MODE1/2352 and MODE2/2352 before an audio
// track, numbers out of range. Commands it does not know are skipped.
std::optional<CueSheet> ParseCueSheet(std::string_view text, std::string* error);

}  // namespace korvi
