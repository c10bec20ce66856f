#pragma once
// The rip's cue sheet: the disc described over the ripped files, one FILE per track, so that the
// files can be played as the disc or written back to one.
//
// Each track's file holds the track from its INDEX 01 up to the next track's INDEX 01, so a pre-gap
// lies at the end of the previous track's file: the track's INDEX 00 is written under the previous
// FILE (at that file's length − pre-gap) and its INDEX 01 00:00:00 after its own FILE line. Audio
// before track 1's INDEX 01 (a hidden track) has a file of its own, written first: TRACK 01 starts
// in it with INDEX 00 00:00:00 and has its INDEX 01 at the start of track 1's file. A pre-gap whose
// audio is in no ripped file becomes PREGAP (silence). Data tracks have no file and are left out.
//
// Texts are UTF-8 on one line (control characters become blanks) and double-quoted. libcue, which
// reads quotes, takes a single-quoted text verbatim but keeps the backslash of \" in a double-
// quoted one; libcdio ends a text at any quote mark. So a text holding " but no ' is single-
// quoted and loads back as it is in libcue; one holding both has \" for its quote marks.

#include <optional>
#include <string>

#include "report/rip_report.h"

namespace korvi {

// The text of the cue sheet.
std::string CueSheetText(const RipReport& report);

// Writes the cue sheet into folder as "<album artist> - <album title>.cue" (or "<disc id>.cue"),
// numbered rather than replacing a file. The path written, or nullopt with the cause in *error.
std::optional<std::string> WriteCueSheet(const RipReport& report, const std::string& folder,
                                         std::string* error);

}  // namespace korvi
