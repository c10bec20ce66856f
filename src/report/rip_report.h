#pragma once
// What a rip knows when it ends, as a plain record: the disc, its table of contents and each
// track it wrote. The log and the cue sheet that lie beside the audio files are written from it.

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace korvi {

struct ReportTocRow {
  int number = 1;
  int32_t start = 0;   // logical sector of INDEX 01
  int32_t length = 0;  // sectors of the track as ripped: up to the next track's INDEX 01
  bool audio = true;
};

struct ReportTrack {
  int number = 1;
  std::string title;
  std::string artist;
  std::string fileName;  // the base name as written, in the folder of the log and cue sheet
  std::string isrc;      // empty when unknown
  bool preEmphasis = false;  // the table of contents marks the audio as pre-emphasised
  // Sectors before this track's INDEX 01 that belong to it. They lie at the end of the previous
  // track's file; track 1's lie in the hidden track's file (RipReport::hiddenTrackFile).
  int32_t pregap = 0;
  double peakPercent = 0;  // of full scale
  std::optional<uint32_t> testCrc;
  std::optional<uint32_t> copyCrc;
  // "Accurate (v2, confidence 12)", "Not accurate", "Not in database", "Database not
  // reachable"; empty when not verified.
  std::string accurateRip;
  std::string quality;  // "OK", "Repaired", "Errors at 3:12.40"
  // The track's own AccurateRip checksums, of the audio in its file read to its end.
  std::optional<uint32_t> accurateRipV1;
  std::optional<uint32_t> accurateRipV2;
  // What the database holds for the track: "5E6F7A8B (v2, confidence 12)", or of a track that is
  // not accurate the most agreed checksum, "9C0D1E2F (confidence 7)"; empty when it holds none.
  std::string accurateRipDatabase;
  std::vector<int32_t> c2Sectors;  // whose C2 pointers stayed set, sorted
  int64_t outOfReach = 0;  // samples beyond the drive's reach, given as silence
  std::string failure;  // why the track's file is missing or incomplete; empty when it is whole
  // False when no file was left under fileName (it could not be written): the cue sheet must not
  // name it, and its audio was not verified.
  bool hasFile = true;
};

struct RipReport {
  std::string program;   // name and version: "Korvi CD Ripper 2.2"
  std::time_t date = 0;  // when the rip began; the log shows it in local time
  std::string drive;     // drive name or image path
  std::string readMode;  // "Secure", "Burst"
  int readOffset = 0;    // samples
  // Of a drive: "8x", "the drive's maximum"; "defeated by FUA reads"; "used", "not supported by
  // the drive". Empty where not asked (an image; no compared reads for the cache).
  std::string readSpeed;
  std::string cache;
  std::string c2;
  std::string outputFormat;  // "FLAC (libFLAC 1.4.2), level 5"
  // Why the AccurateRip database gave no answer, when the rip asked and it did not.
  std::string accurateRipProblem;
  std::string albumTitle;
  std::string albumArtist;
  std::string genre;
  std::string year;
  std::string discId;   // CDDB, 8 hex digits
  std::string catalog;  // MCN; empty when unknown
  std::vector<ReportTocRow> toc;
  std::vector<ReportTrack> tracks;  // the tracks ripped, in disc order
  // The audio before track 1's INDEX 01 (sectors 0 up to track 1's start) as its own file, when
  // it was ripped; empty otherwise.
  std::string hiddenTrackFile;
  std::optional<ReportTrack> hidden;  // that track, when the rip took it (number 0)
  bool stopped = false;
  std::string mediumLost;  // why the rip ended early when the disc went away
};

}  // namespace korvi
