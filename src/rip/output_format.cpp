#include "rip/output_format.h"

#include <FLAC/format.h>
#include <opusenc.h>

#include "disc/track_info.h"
#include "rip/ape_output_media.h"
#include "rip/flac_output_media.h"
#include "rip/mp3_lame_output.h"
#include "rip/opus_output_media.h"
#include "rip/wave_output_media.h"

namespace korvi {

std::unique_ptr<COutputMediaFile> MakeWriter(int32_t format, const std::string& path, const WriterOptions& options,
                                             const CTrackInfo* track) {
  switch (format) {
    case kFormatWave:
      return std::make_unique<CWaveOutputMedia>(path);
    case kFormatMp3: {
      auto writer = std::make_unique<CMP3LameOutput>(44100, options.BPS, path, options.showError);
      if (options.SaveID3Tag) writer->SetTagTrack(track);
      return writer;
    }
    case kFormatApe:
      return std::make_unique<CAPEOutputMedia>(options.CompressionLevel, path);
    case kFormatFlac:
      // A track's end is its last sector.
      return std::make_unique<CFlacOutputMedia>(options.FlacLevel, track ? track->length() + 1 : 0, path);
    case kFormatOpus:
      return std::make_unique<COpusOutputMedia>(options.OpusBitrate, path);
  }
  return nullptr;
}

std::string DescribeWriter(int32_t format, const WriterOptions& options) {
  switch (format) {
    case kFormatWave:
      return "WAV, 16-bit stereo PCM";
    case kFormatMp3:
      return "MP3 (LAME), " + std::to_string(options.BPS) + " kbit/s" + (options.SaveID3Tag ? "" : ", no tags");
    case kFormatApe:
      return "APE, level " + std::to_string(options.CompressionLevel);
    case kFormatFlac:
      return "FLAC (libFLAC " + std::string(FLAC__VERSION_STRING) + "), level " + std::to_string(options.FlacLevel);
    case kFormatOpus:
      return "Opus (" + std::string(ope_get_version_string()) + "), " + std::to_string(options.OpusBitrate) +
             " kbit/s average";
  }
  return {};
}

}  // namespace korvi
