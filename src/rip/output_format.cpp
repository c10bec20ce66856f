#include "rip/output_format.h"

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
         -> std::unique_ptr<COutputMediaFile> { return std::make_unique<CWaveOutputMedia>(path); }},
    {kFormatMp3, "MP3", ".mp3",
     [](const std::string& path, const WriterOptions& options,
        const CTrackInfo* track) -> std::unique_ptr<COutputMediaFile> {
       auto writer = std::make_unique<CMP3LameOutput>(44100, options.bitRate, path, options.showError);
       if (options.saveTag) writer->SetTagTrack(track);
       return writer;
     }},
    {kFormatApe, "APE", ".ape",
     [](const std::string& path, const WriterOptions& options,
        const CTrackInfo*) -> std::unique_ptr<COutputMediaFile> {
       return std::make_unique<CAPEOutputMedia>(options.compressionLevel, path);
     }},
    {kFormatFlac, "FLAC", ".flac",
     [](const std::string& path, const WriterOptions& options,
        const CTrackInfo* track) -> std::unique_ptr<COutputMediaFile> {
       // A track's end is its last sector.
       return std::make_unique<CFlacOutputMedia>(options.flacLevel, track ? track->length() + 1 : 0, path);
     }},
    {kFormatOpus, "Opus", ".opus",
     [](const std::string& path, const WriterOptions& options,
        const CTrackInfo*) -> std::unique_ptr<COutputMediaFile> {
       return std::make_unique<COpusOutputMedia>(options.opusBitrate, path);
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
