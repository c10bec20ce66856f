#include "report/cue_sheet_writer.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "report/report_file.h"
#include "text/ascii_case.h"
#include "text/utf8_text.h"

namespace korvi {
namespace {

std::string Msf(int32_t sectors) {
  char text[32];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", sectors / 4500, (sectors / 75) % 60, sectors % 75);
  return text;
}

// A text as one quoted word that every reader takes back and that cannot run into the next line.
std::string Quoted(const std::string& raw) {
  std::string out = "\"";
  for (char c : ReplaceControls(ToUtf8(raw), ' ')) out += c == '"' ? std::string("''") : std::string(1, c);
  // A backslash before the closing quote would make it part of the text for libcue and cueprint.
  if (out.back() == '\\') out += ' ';
  return out + "\"";
}

bool AllOf(const std::string& text, size_t length, int (*test)(int)) {
  return text.size() == length && std::all_of(text.begin(), text.end(), [test](char c) {
           return test(static_cast<unsigned char>(c)) != 0;
         });
}

// libcdio refuses a sheet whose CATALOG is not 13 digits; an ISRC is 12 letters and digits.
bool ValidCatalog(const std::string& text) { return AllOf(text, 13, isdigit); }
bool ValidIsrc(const std::string& text) { return AllOf(text, 12, isalnum); }

// A single word stays bare (REM DATE 1999); anything else is quoted.
std::string Word(const std::string& text) {
  const bool bare = !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '/' || c == '.';
  });
  return bare ? text : Quoted(text);
}

const ReportTocRow* TocRowOf(const RipReport& report, int number) {
  for (const ReportTocRow& row : report.toc)
    if (row.number == number) return &row;
  return nullptr;
}

void TrackText(std::string& out, const ReportTrack& track) {
  if (!track.title.empty()) out += "    TITLE " + Quoted(track.title) + "\n";
  if (!track.artist.empty()) out += "    PERFORMER " + Quoted(track.artist) + "\n";
  if (track.preEmphasis) out += "    FLAGS PRE\n";
  if (ValidIsrc(track.isrc)) out += "    ISRC " + track.isrc + "\n";
}

// A name that goes into a quoted FILE word unchanged, so that the line names the very file.
bool Writable(const std::string& name) {
  return !name.empty() && name.find('"') == std::string::npos && name.back() != '\\' && IsValidUtf8(name) &&
         ReplaceControls(name, ' ') == name;
}

std::string FileLine(const std::string& name) {
  return "FILE \"" + name + "\" " + (EndsWithIgnoringCase(name, ".mp3") ? "MP3" : "WAVE") + "\n";
}

}  // namespace

std::string CueSheetText(const RipReport& report) {
  std::string out;
  if (!report.genre.empty()) out += "REM GENRE " + Quoted(report.genre) + "\n";
  if (!report.year.empty()) out += "REM DATE " + Word(report.year) + "\n";
  if (!report.discId.empty()) out += "REM DISCID " + Word(report.discId) + "\n";
  if (!report.program.empty()) out += "REM COMMENT " + Quoted(report.program) + "\n";
  if (ValidCatalog(report.catalog)) out += "CATALOG " + report.catalog + "\n";
  if (!report.albumArtist.empty()) out += "PERFORMER " + Quoted(report.albumArtist) + "\n";
  if (!report.albumTitle.empty()) out += "TITLE " + Quoted(report.albumTitle) + "\n";

  const int firstTrack = report.toc.empty() ? 1 : report.toc.front().number;
  const ReportTrack* previous = nullptr;
  for (const ReportTrack& track : report.tracks) {
    if (!track.hasFile || !Writable(track.fileName)) {
      previous = nullptr;
      continue;
    }
    char header[32];
    std::snprintf(header, sizeof header, "  TRACK %02d AUDIO\n", track.number);
    const bool hidden = track.number == firstTrack && Writable(report.hiddenTrackFile);
    const ReportTocRow* previousRow =
        previous && previous->number == track.number - 1 ? TocRowOf(report, previous->number) : nullptr;
    // The previous file holds the pre-gap only when it is this track's neighbour on the disc.
    const bool gapInPreviousFile =
        !hidden && track.pregap > 0 && previousRow && previousRow->length >= track.pregap;
    if (hidden) {
      out += FileLine(report.hiddenTrackFile) + header;
      TrackText(out, track);
      out += "    INDEX 00 00:00:00\n" + FileLine(track.fileName) + "    INDEX 01 00:00:00\n";
    } else if (gapInPreviousFile) {
      out += header;
      TrackText(out, track);
      out += "    INDEX 00 " + Msf(previousRow->length - track.pregap) + "\n";
      out += FileLine(track.fileName) + "    INDEX 01 00:00:00\n";
    } else {
      out += FileLine(track.fileName) + header;
      TrackText(out, track);
      if (track.pregap > 0) out += "    PREGAP " + Msf(track.pregap) + "\n";
      out += "    INDEX 01 00:00:00\n";
    }
    previous = &track;
  }
  return out;
}

std::optional<std::string> WriteCueSheet(const RipReport& report, const std::string& folder,
                                         std::string* error) {
  return WriteNewReportFile(folder, ReportBaseName(report), ".cue", CueSheetText(report), error);
}

}  // namespace korvi
