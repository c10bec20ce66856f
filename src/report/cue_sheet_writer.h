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
// A track whose file was not written (ReportTrack::hasFile) is left out, and so is one whose
// file name no sheet can hold (see below); the next track's pre-gap then becomes PREGAP rather than
// an INDEX 00 in a file that is not there. An MP3 file is of type MP3, any other WAVE, as sheets
// over compressed files commonly say (our reader then tells FLAC by its extension).
//
// Texts are UTF-8 on one line (control characters become blanks) and double-quoted. The readers
// know no escape: libcue and cueprint keep the backslash of \" in the text, cueprint refuses
// single quotes, and our reader ends a text at its next quote mark. So a " in a text is
// written as '' (two apostrophes): it looks like the quote it replaces and, being ASCII, reads the
// same in whatever code page a reader takes the sheet to be (a U+201D would not). A text
// that ends in a backslash gets a blank after it, which keeps the closing quote a closing quote.
// File names go in as they are; one that holds " or a control character, or ends in a backslash,
// cannot be written at all (track files are never named so).

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
