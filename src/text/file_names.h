#pragma once
// From a track title to an output path.

#include <string>
#include <string_view>
#include <vector>

namespace korvi {

// True when nothing but dots and blanks is left of a name ("", "..", "  "): no file may be named so.
bool LeavesNoName(std::string_view name);

// A title as the name part of a file: '/', '?', '*', '"' (no cue sheet can name such a file) and
// control characters (C0, DEL, C1) become '_', a leading '.' does too (no hidden files), and a
// title that leaves no name ("", "..", blanks) becomes "Track N". The name is cut, on a character
// boundary, so that it fits the file system with the extension.
std::string TitleToFileName(const std::string& title, int trackNumber, size_t extensionBytes);

// folder + '/' (unless it already ends with one) + name + extension; the folder is kept as it is.
// An empty folder gives a path relative to the working folder.
std::string OutputPath(const std::string& folder, const std::string& title, int trackNumber,
                       const std::string& extension);

struct TitledTrack {
  std::string title;
  int number;  // for the name of an untitled track
};

// OutputPath for each track, made unique within the list: a name equal to an earlier one (letters
// A-Z compared without case, as the file systems of music players do) gets " (2)", " (3)"...
// before the extension, cut so that the whole name still fits the file system.
std::vector<std::string> UniqueOutputPaths(const std::string& folder, const std::vector<TitledTrack>& tracks,
                                           const std::string& extension);

}  // namespace korvi
