#pragma once
// What a disc says about itself in text: CD-Text (from a drive, or a cue sheet's TITLE, PERFORMER
// and SONGWRITER lines) and the disc facts a cue sheet adds (catalog number, ISRC, genre, date,
// disc id). UTF-8; empty where the disc says nothing.

#include <string>
#include <vector>

namespace korvi {

struct CdTextFields {
  std::string title;
  std::string performer;
  std::string songwriter;
  std::string isrc;  // tracks only

  bool empty() const { return title.empty() && performer.empty() && songwriter.empty() && isrc.empty(); }
};

struct DiscText {
  CdTextFields disc;
  std::string catalog;  // UPC/EAN
  std::string genre;
  std::string date;
  std::string discId;                // as the cue sheet's REM DISCID gives it
  std::vector<CdTextFields> tracks;  // one per track of the table of contents, from its first

  bool empty() const;
};

// One line per field that is not empty: "disc" or the track's number (tracks[0] is firstTrack),
// the field's name (TITLE, PERFORMER, SONGWRITER, ISRC, CATALOG, GENRE, DATE, DISCID) and its
// text, separated by tabs.
std::vector<std::string> DiscTextLines(const DiscText& text, int firstTrack);

}  // namespace korvi
