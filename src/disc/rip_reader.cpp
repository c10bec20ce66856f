#include "disc/rip_reader.h"

#include "disc/offset_reader.h"
#include "disc/secure_reader.h"

namespace korvi {

std::unique_ptr<RipReader> RipReader::Open(ISectorSource& device, const DiscToc& disc, ReadMode mode,
                                           int32_t offsetSamples, std::string* error) {
  std::unique_ptr<RipReader> reader(new RipReader());
  reader->m_top = &device;
  if (mode == ReadMode::kSecure) {
    reader->m_secure = SecureSectorSource::Create(device, disc, error);
    if (!reader->m_secure) return nullptr;
    reader->m_top = reader->m_secure.get();
  }
  if (offsetSamples != 0) {
    // Out of reach is only what lies before sector 0 or past the audio's end: audio before track 1
    // is read, not silenced.
    const std::optional<TrackSpan> audio = AudioReachOf(disc);
    if (!audio) {
      if (error) *error = "a read offset needs the disc's table of contents";
      return nullptr;
    }
    reader->m_offset =
        std::make_unique<OffsetSectorSource>(*reader->m_top, offsetSamples, audio->begin, audio->end);
    reader->m_top = reader->m_offset.get();
  }
  return reader;
}

RipReader::~RipReader() = default;

}  // namespace korvi
