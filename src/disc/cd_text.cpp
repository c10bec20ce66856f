#include "disc/cd_text.h"

#include <algorithm>

#include "text/utf8_text.h"

namespace korvi {
namespace {

void AddLine(std::vector<std::string>& lines, const std::string& where, const char* field,
             const std::string& value) {
  // One line each, whatever the disc holds: a line break in a title must not make a second field.
  if (!value.empty()) lines.push_back(where + "\t" + field + "\t" + ReplaceControls(value, ' '));
}

void AddFields(std::vector<std::string>& lines, const std::string& where, const CdTextFields& fields) {
  AddLine(lines, where, "TITLE", fields.title);
  AddLine(lines, where, "PERFORMER", fields.performer);
  AddLine(lines, where, "SONGWRITER", fields.songwriter);
  AddLine(lines, where, "ISRC", fields.isrc);
}

}  // namespace

bool DiscText::empty() const {
  return disc.empty() && catalog.empty() && genre.empty() && date.empty() && discId.empty() &&
         std::all_of(tracks.begin(), tracks.end(), [](const CdTextFields& t) { return t.empty(); });
}

std::vector<std::string> DiscTextLines(const DiscText& text, int firstTrack) {
  std::vector<std::string> lines;
  AddFields(lines, "disc", text.disc);
  AddLine(lines, "disc", "CATALOG", text.catalog);
  AddLine(lines, "disc", "GENRE", text.genre);
  AddLine(lines, "disc", "DATE", text.date);
  AddLine(lines, "disc", "DISCID", text.discId);
  for (size_t i = 0; i < text.tracks.size(); ++i)
    AddFields(lines, std::to_string(firstTrack + int(i)), text.tracks[i]);
  return lines;
}

}  // namespace korvi
