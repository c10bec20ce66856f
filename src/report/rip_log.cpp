#include "report/rip_log.h"

#include <cstdio>
#include <ctime>

#include "report/report_file.h"
#include "text/utf8_text.h"

namespace korvi {
namespace {

// One line of text: a title with a line break in it must not break the log's layout.
std::string Line(const std::string& text) { return ReplaceControls(ToUtf8(text), ' '); }

void Field(std::string& out, const char* label, const std::string& value) {
  char head[32];
  std::snprintf(head, sizeof head, "%-18s", label);
  out += head;
  out += Line(value);
  out += '\n';
}

std::string Crc(uint32_t crc) {
  char text[16];
  std::snprintf(text, sizeof text, "%08X", crc);
  return text;
}

std::string LocalTime(std::time_t when) {
  std::tm parts{};
  if (!localtime_r(&when, &parts)) return {};
  char text[64];
  return std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts) ? text : std::string();
}

// "3 sector(s): 1000, 1001, 1002", the first few of them.
std::string C2SectorsText(const std::vector<int32_t>& sectors) {
  constexpr size_t kShown = 10;
  std::string text = std::to_string(sectors.size()) + " sector(s): ";
  for (size_t i = 0; i < sectors.size() && i < kShown; ++i) text += (i ? ", " : "") + std::to_string(sectors[i]);
  if (sectors.size() > kShown) text += " and " + std::to_string(sectors.size() - kShown) + " more";
  return text;
}

bool Accurate(const ReportTrack& track) {
  return track.failure.empty() && track.accurateRip.rfind("Accurate", 0) == 0;
}

// Why a track is not counted as accurately ripped.
std::string Shortcoming(const ReportTrack& track) {
  if (!track.failure.empty()) return "failed: " + Line(track.failure);
  std::string why = track.accurateRip.empty() ? "not verified" : Line(track.accurateRip);
  if (!track.quality.empty() && track.quality != "OK") why += "; read quality: " + Line(track.quality);
  return why;
}

void TocTable(std::string& out, const RipReport& report) {
  out += "Table of contents\n\n";
  out += "  Track |   Start   |  Length   | Start sector | End sector\n";
  out += "  ------+-----------+-----------+--------------+-----------\n";
  for (const ReportTocRow& row : report.toc) {
    char line[160];
    std::snprintf(line, sizeof line, "  %5d | %9s | %9s | %12d | %10d%s\n", row.number,
                  SectorsAsTime(row.start).c_str(), SectorsAsTime(row.length).c_str(),
                  static_cast<int>(row.start), static_cast<int>(row.start + row.length - 1),
                  row.audio ? "" : "  (data)");
    out += line;
  }
  out += '\n';
}

void TrackSection(std::string& out, const ReportTrack& track, const std::string& heading) {
  out += heading + "\n";
  if (!track.title.empty()) Field(out, "  Title", track.title);
  if (!track.artist.empty()) Field(out, "  Artist", track.artist);
  Field(out, "  File", track.fileName + (track.hasFile ? "" : " (not written)"));
  if (track.number > 0) Field(out, "  Pre-gap", SectorsAsTime(track.pregap));
  if (track.preEmphasis) Field(out, "  Pre-emphasis", "yes: the audio is stored emphasised, as on the disc");
  if (!track.hasFile) {
    Field(out, "  AccurateRip", "not verified: no file was written");
    Field(out, "  Failed", track.failure);
    out += '\n';
    return;
  }
  char peak[32];
  std::snprintf(peak, sizeof peak, "%.1f %%", track.peakPercent);
  Field(out, "  Peak level", peak);
  if (track.testCrc) Field(out, "  Test CRC", Crc(*track.testCrc));
  if (track.copyCrc) {
    const bool differs = track.testCrc && *track.testCrc != *track.copyCrc;
    Field(out, "  Copy CRC", Crc(*track.copyCrc) + (differs ? " (differs from the test)" : ""));
  }
  if (!track.isrc.empty()) Field(out, "  ISRC", track.isrc);
  // No database knows the audio before track 1.
  if (track.number > 0)
    Field(out, "  AccurateRip", track.accurateRip.empty() ? "not verified" : track.accurateRip);
  if (track.accurateRipV1) Field(out, "  AR v1 checksum", Crc(*track.accurateRipV1));
  if (track.accurateRipV2) Field(out, "  AR v2 checksum", Crc(*track.accurateRipV2));
  if (!track.accurateRipDatabase.empty()) Field(out, "  AR database", track.accurateRipDatabase);
  if (!track.quality.empty()) Field(out, "  Read quality", track.quality);
  if (!track.c2Sectors.empty()) Field(out, "  C2 errors", C2SectorsText(track.c2Sectors));
  if (track.outOfReach > 0)
    Field(out, "  Out of reach",
          std::to_string(track.outOfReach) + " samples beyond the drive's reach are silence");
  if (!track.failure.empty()) Field(out, "  Failed", track.failure);
  out += '\n';
}

}  // namespace

std::string RipLogSummary(const RipReport& report) {
  std::string out;
  size_t accurate = 0;
  for (const ReportTrack& track : report.tracks) accurate += Accurate(track) ? 1 : 0;
  if (!report.tracks.empty() && accurate == report.tracks.size()) {
    out += "All tracks accurately ripped\n";
  } else {
    out += std::to_string(accurate) + " of " + std::to_string(report.tracks.size()) +
           " tracks accurately ripped\n";
    for (const ReportTrack& track : report.tracks)
      if (!Accurate(track))
        out += "  Track " + std::to_string(track.number) + ": " + Shortcoming(track) + "\n";
  }
  if (report.stopped) out += "The rip was stopped\n";
  if (!report.mediumLost.empty()) out += "The rip ended early: " + report.mediumLost + "\n";
  return out;
}

std::string RipLogText(const RipReport& report) {
  std::string out = Line(report.program) + " rip log\n\n";
  Field(out, "Date", LocalTime(report.date));
  Field(out, "Drive", report.drive);
  Field(out, "Read mode", report.readMode);
  Field(out, "Read offset",
        (report.readOffset > 0 ? "+" : "") + std::to_string(report.readOffset) + " samples");
  if (!report.readSpeed.empty()) Field(out, "Read speed", report.readSpeed);
  if (!report.cache.empty()) Field(out, "Cache", report.cache);
  if (!report.c2.empty()) Field(out, "C2 pointers", report.c2);
  if (!report.outputFormat.empty()) Field(out, "Output format", report.outputFormat);
  if (!report.accurateRipProblem.empty())
    Field(out, "AccurateRip", "database not reachable: " + report.accurateRipProblem);
  out += '\n';
  Field(out, "Album artist", report.albumArtist);
  Field(out, "Album title", report.albumTitle);
  if (!report.genre.empty()) Field(out, "Genre", report.genre);
  if (!report.year.empty()) Field(out, "Year", report.year);
  Field(out, "Disc id", report.discId);
  if (!report.catalog.empty()) Field(out, "Catalog", report.catalog);
  out += '\n';
  TocTable(out, report);
  if (report.hidden) TrackSection(out, *report.hidden, "Hidden track before track 1");
  for (const ReportTrack& track : report.tracks) TrackSection(out, track, "Track " + std::to_string(track.number));
  out += "Summary\n\n";
  out += RipLogSummary(report);
  return out;
}

std::optional<std::string> WriteRipLog(const RipReport& report, const std::string& folder,
                                       std::string* error) {
  return WriteNewReportFile(folder, ReportBaseName(report), ".log", RipLogText(report), error);
}

}  // namespace korvi
