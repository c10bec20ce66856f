// What a rip job proves and leaves behind once its files are written: the AccurateRip verdicts,
// the log and the cue sheet.

#include <cstdio>
#include <filesystem>

#include "cddb/disc_id.h"
#include "common/version.h"
#include "library/disc_info.h"
#include "report/cue_sheet_writer.h"
#include "report/rip_log.h"
#include "report/rip_report.h"
#include "rip/rip_job.h"

namespace korvi {
namespace {

// What the database holds for a track: "5E6F7A8B (v2, confidence 12)"; empty when nothing.
std::string DatabaseText(const std::optional<AccurateRipResult>& result) {
  if (!result || result->confidence == 0) return "";
  char text[64];
  if (result->status == AccurateRipResult::Status::kAccurate)
    std::snprintf(text, sizeof text, "%08X (v%d, confidence %d)", result->databaseChecksum, result->version,
                  result->confidence);
  else
    std::snprintf(text, sizeof text, "%08X (confidence %d)", result->databaseChecksum, result->confidence);
  return text;
}

}  // namespace

ReportDisc ReportDiscOf(const std::string& drive, const DiscToc& disc, const CDiscInfo* record) {
  ReportDisc facts;
  facts.drive = drive;
  facts.genre = disc.text.genre;
  facts.year = disc.text.date;
  if (record && !record->HoldsOnlyNumberedTracks()) {
    facts.albumTitle = record->albumTitle;
    facts.albumArtist = record->albumArtist;
    if (!record->extras.genre.empty()) facts.genre = record->extras.genre;
    if (!record->tracks.empty() && record->tracks.front().year > 0)
      facts.year = std::to_string(record->tracks.front().year);
  } else {
    facts.albumTitle = disc.text.disc.title;
    facts.albumArtist = disc.text.disc.performer;
  }
  return facts;
}

DiscTags DiscTagsOf(const DiscToc& disc, const CDiscInfo* record) {
  const ReportDisc facts = ReportDiscOf(std::string(), disc, record);
  DiscTags tags;
  tags.albumArtist = facts.albumArtist;
  tags.genre = facts.genre;
  if (record) {
    // The sidecar's ids belong to the titles of the record, from whatever source they came.
    const DiscExtras& extras = record->extras;
    tags.discNumber = extras.discNumber;
    tags.discTotal = extras.discCount;
    tags.releaseDate = extras.releaseDate;
    tags.originalDate = extras.originalDate;
    tags.musicBrainzReleaseId = extras.musicBrainzReleaseId;
    tags.musicBrainzDiscId = extras.musicBrainzDiscId;
    tags.recordingIds = extras.recordingIds;
  }
  return tags;
}

int RipJob::AudioTrackNumber(int32_t begin) const {
  int number = 0;
  for (int n = 1; n <= TocTrackCount(m_settings.disc.toc); ++n) {
    if (IsDataEntry(m_settings.disc.toc.TrackData[n - 1])) continue;
    ++number;
    if (SectorFromMsf(m_settings.disc.toc.TrackData[n - 1].Address) == begin) return number;
  }
  return 0;
}

void RipJob::MatchAccurateRip() {
  if (!m_accurateRip) return;
  // Asked when the job started; by now the answer has mostly come.
  const AccurateRipAnswer& answer = m_accurateRip->Wait();
  m_accurateRipProblem = answer.error;
  for (size_t i = 0; i < m_outcomes.size(); ++i) {
    TrackResult& result = m_outcomes[i].result;
    const int number = AudioTrackNumber(m_tracks[i].info.begin());
    // The verdict is about a file: a track whose file was not written gets none.
    if (!m_outcomes[i].started || !m_outcomes[i].written || !result.complete || number == 0) continue;
    result.accurateRip =
        AccurateRipResultOf(answer, m_accurateRip->Ids(), number, result.accurateRipV1, result.accurateRipV2);
  }
}

std::string RipJob::AccurateRipSummaryText() const {
  if (!m_accurateRip || IsRunning()) return "";
  int verified = 0;
  int accurate = 0;
  int unanswered = 0;
  for (size_t i = 0; i < m_results.size(); ++i) {
    // The hidden track is in no database.
    if (!m_outcomes[i].started || AudioTrackNumber(m_tracks[i].info.begin()) == 0) continue;
    ++verified;
    accurate += m_results[i].IsAccurate() && m_outcomes[i].failure.empty() ? 1 : 0;
    const std::optional<AccurateRipResult>& result = m_results[i].accurateRip;
    unanswered += result && result->status == AccurateRipResult::Status::kNotReachable ? 1 : 0;
  }
  if (verified == 0) return "";
  return AccurateRipSummary(accurate, verified, unanswered != verified);
}

bool RipJob::AllAccurate() const {
  if (IsRunning() || m_results.size() != m_tracks.size() || !m_failures.empty()) return false;
  for (size_t i = 0; i < m_results.size(); ++i)
    if (!m_results[i].IsAccurate() && AudioTrackNumber(m_tracks[i].info.begin()) > 0) return false;
  return true;
}

RipReport RipJob::MakeReport() const {
  const DiscToc& disc = m_settings.disc;
  const ReportDisc& facts = m_settings.report;
  RipReport report;
  report.program = ProgramNameAndVersion();
  report.date = m_startTime;
  report.drive = facts.drive;
  report.readMode = m_settings.readMode == ReadMode::kSecure ? "Secure" : "Burst";
  if (m_settings.testAndCopy) report.readMode += ", test and copy";
  report.readOffset = m_settings.readOffset;
  report.readSpeed = m_speedText;
  report.cache = m_cacheText;
  report.c2 = m_c2Text;
  report.outputFormat = DescribeWriter(m_settings.format, m_settings.writer);
  report.accurateRipProblem = m_accurateRipProblem;
  report.albumTitle = facts.albumTitle;
  report.albumArtist = facts.albumArtist;
  report.genre = facts.genre;
  report.year = facts.year;
  DiscText text = disc.text;
  if (facts.readCodes) facts.readCodes(text);
  report.catalog = text.catalog;
  char discId[16];
  std::snprintf(discId, sizeof discId, "%08x", DiscIdOf(disc.toc));
  report.discId = discId;

  const int count = TocTrackCount(disc.toc);
  for (int n = 1; n <= count; ++n) {
    const TrackSpan span = TrackSpanOf(disc, n);
    report.toc.push_back({disc.toc.TrackData[n - 1].TrackNumber, span.begin, span.end - span.begin + 1,
                          !IsDataEntry(disc.toc.TrackData[n - 1])});
  }
  for (size_t i = 0; i < m_tracks.size(); ++i) {
    const TrackOutcome& outcome = m_outcomes[i];
    if (!outcome.started) continue;
    const CTrackInfo& info = m_tracks[i].info;
    const TrackResult& result = m_results[i];
    ReportTrack track;
    track.number = m_tracks[i].number;
    for (int n = 1; n <= count; ++n) {
      if (SectorFromMsf(disc.toc.TrackData[n - 1].Address) != info.begin()) continue;
      track.number = disc.toc.TrackData[n - 1].TrackNumber;
      if (size_t(n - 1) < text.tracks.size()) track.isrc = text.tracks[size_t(n - 1)].isrc;
      if (size_t(n - 1) < disc.pregaps.size()) track.pregap = disc.pregaps[size_t(n - 1)];
      track.preEmphasis = HasPreEmphasis(disc.toc.TrackData[n - 1]);
    }
    track.title = info.title();
    track.artist = info.artist;
    track.fileName = std::filesystem::path(outcome.path).filename().string();
    track.peakPercent = result.peakPercent;
    track.testCrc = result.testCrc;
    // The CRC of what the file holds: the third read's where there was one.
    track.copyCrc = result.thirdCrc ? result.thirdCrc : result.copyCrc;
    if (result.accurateRip) track.accurateRip = result.accurateRip->Text();
    if (result.complete) {
      track.accurateRipV1 = result.accurateRipV1;
      track.accurateRipV2 = result.accurateRipV2;
    }
    track.accurateRipDatabase = DatabaseText(result.accurateRip);
    track.outOfReach = result.quality.outOfReach;
    track.c2Sectors = result.quality.c2Sectors;
    track.quality = result.QualityText(info.begin());
    track.failure = outcome.failure;
    if (track.failure.empty() && !result.complete) track.failure = "stopped before its end";
    track.hasFile = outcome.written;
    if (!track.hasFile) {
      // What was read went into no file: nothing of it describes the track's file.
      track.peakPercent = 0;
      track.testCrc.reset();
      track.copyCrc.reset();
      track.accurateRipV1.reset();
      track.accurateRipV2.reset();
      track.accurateRipDatabase.clear();
    }
    if (track.number == 0) {
      // The audio before track 1: no database knows it, and the cue sheet puts it under TRACK 01.
      track.accurateRipV1.reset();
      track.accurateRipV2.reset();
      if (track.hasFile) report.hiddenTrackFile = track.fileName;
      report.hidden = std::move(track);
      continue;
    }
    report.tracks.push_back(std::move(track));
  }
  report.stopped = m_cancel.load();
  report.mediumLost = m_mediumLost;
  return report;
}

void RipJob::WriteReports() {
  if (!m_settings.writeLog && !m_settings.writeCueSheet) return;
  bool any = false;
  for (const TrackOutcome& outcome : m_outcomes) any = any || outcome.started;
  if (!any) return;
  const RipReport report = MakeReport();
  std::string error;
  if (m_settings.writeLog) {
    if (const std::optional<std::string> path = WriteRipLog(report, m_settings.folder, &error))
      m_logFile = *path;
    else
      m_failures.push_back({m_settings.folder, "the rip log could not be written: " + error});
  }
  if (m_settings.writeCueSheet) {
    if (!WriteCueSheet(report, m_settings.folder, &error))
      m_failures.push_back({m_settings.folder, "the cue sheet could not be written: " + error});
  }
}

}  // namespace korvi
