#include "rip/output_format.h"

#include "rip/ape_output_media.h"
#include "rip/wave_output_media.h"

namespace korvi {
namespace {

const OutputFormatInfo kFormats[] = {
    {kFormatWave, "WAV", ".wav",
     [](const std::string& path, const WriterOptions&, const CTrackInfo*)
         -> std::unique_ptr<COutputMediaFile> { return std::make_unique<CWaveOutputMedia>(path); }},
    {kFormatMp3, "MP3", ".mp3", nullptr},
    {kFormatApe, "APE", ".ape",
     [](const std::string& path, const WriterOptions& options, const CTrackInfo*)
         -> std::unique_ptr<COutputMediaFile> {
       return std::make_unique<CAPEOutputMedia>(options.compressionLevel, path);
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
