#pragma once
// WAV files: the PCM bytes unchanged behind a 44-byte RIFF header that is written provisionally
// first and again with the sizes at the end.

#include <array>

#include "rip/output_media.h"

namespace korvi {

struct WaveHeader {
  uint32_t riffSize = 0;
  uint16_t channels = 0;
  uint32_t sampleRate = 0;
  uint16_t bitsPerSample = 16;

  // The 44 bytes as they go to disk, the derived fields recomputed.
  std::array<uint8_t, 44> Bytes() const;
};

class CWaveOutputMedia : public COutputMediaFile {
 public:
  explicit CWaveOutputMedia(std::string fileName) : COutputMediaFile(std::move(fileName)) {}
  ~CWaveOutputMedia() override;

  int Write(const uint8_t* data, int count) override;
  void Close() override;

 private:
  void WriteHeader();

  WaveHeader m_header;
  bool m_headerWritten = false;
  int32_t m_byteCount = 0;
};

}  // namespace korvi
