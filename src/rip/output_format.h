#pragma once
// The output formats, described once: the format chooser, the settings, the command-line tool and
// the rip job all read this table.

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

namespace korvi {

class COutputMediaFile;
class CTrackInfo;

enum OutputFormat : int32_t {
  kFormatWave = 0,
  kFormatMp3 = 1,
  kFormatApe = 2,
  kFormatFlac = 3,
  kFormatOpus = 4
};

// What a writer is made from.
struct WriterOptions {
  int32_t bitRate = 192;  // MP3, kbit/s
  bool saveTag = true;    // MP3: ID3 tag from the track's record
  // MP3: shows a message (a missing encoder module) and returns once it has been seen; called on
  // the rip worker's thread.
  std::function<void(const std::string& text)> showError;
  int32_t compressionLevel = 2000;  // APE
  int32_t flacLevel = 5;            // FLAC, 0 to 8
  int32_t opusBitrate = 160;        // Opus, kbit/s
};

struct OutputFormatInfo {
  OutputFormat id;
  const char* name;       // "WAV", "MP3", "APE", "FLAC", "Opus"
  const char* extension;  // ".wav", ...
  std::function<std::unique_ptr<COutputMediaFile>(const std::string& path, const WriterOptions& options,
                                                  const CTrackInfo* track)>
      makeWriter;
  // The format and the settings its files are made with, for the rip log: "FLAC, level 5".
  std::function<std::string(const WriterOptions& options)> describe;
};

std::span<const OutputFormatInfo> OutputFormats();
// Null for a number that is not a format.
const OutputFormatInfo* FindOutputFormat(int32_t id);

}  // namespace korvi
