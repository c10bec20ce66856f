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
namespace {

const OutputFormatInfo kFormats[] = {
    {kFormatWave, "WAV", ".wav",
     [](const std::string& path, const WriterOptions&, const CTrackInfo*)
         -> std::unique_ptr<COutputMediaFile> { return std::make_unique<CWaveOutputMedia>(path); },
     [](const WriterOptions&) { return std::string("WAV, 16-bit stereo PCM"); }},
    {kFormatMp3, "MP3", ".mp3",
     [](const std::string& path, const WriterOptions& options,
        const CTrackInfo* track) -> std::unique_ptr<COutputMediaFile> {
       auto writer = std::make_unique<CMP3LameOutput>(44100, options.bitRate, path, options.showError);
       if (options.saveTag) writer->SetTagTrack(track);
       return writer;
     },
     [](const WriterOptions& options) {
       return "MP3 (LAME), " + std::to_string(options.bitRate) + " kbit/s" + (options.saveTag ? "" : ", no tags");
     }},
    {kFormatApe, "APE", ".ape",
     [](const std::string& path, const WriterOptions& options,
        const CTrackInfo*) -> std::unique_ptr<COutputMediaFile> {
       return std::make_unique<CAPEOutputMedia>(options.compressionLevel, path);
     },
     [](const WriterOptions& options) { return "APE, level " + std::to_string(options.compressionLevel); }},
    {kFormatFlac, "FLAC", ".flac",
     [](const std::string& path, const WriterOptions& options,
        const CTrackInfo* track) -> std::unique_ptr<COutputMediaFile> {
       // A track's end is its last sector.
       return std::make_unique<CFlacOutputMedia>(options.flacLevel, track ? track->length() + 1 : 0, path);
     },
     [](const WriterOptions& options) {
       return "FLAC (libFLAC " + std::string(FLAC__VERSION_STRING) + "), level " + std::to_string(options.flacLevel);
     }},
    {kFormatOpus, "Opus", ".opus",
     [](const std::string& path, const WriterOptions& options,
        const CTrackInfo*) -> std::unique_ptr<COutputMediaFile> {
       return std::make_unique<COpusOutputMedia>(options.opusBitrate, path);
     },
     [](const WriterOptions& options) {
       return "Opus (" + std::string(ope_get_version_string()) + "), " +
              std::to_string(options.opusBitrate) + " kbit/s average";
     }},
};

}  // namespace

std::span<const OutputFormatInfo> OutputFormats() { return kFormats; }

const OutputFormatInfo* FindOutputFormat(int32_t id) {
  for (const OutputFormatInfo& format : kFormats)
    if (format.id == id) return &format;
  return nullptr;
}

}  // namespace korvi
