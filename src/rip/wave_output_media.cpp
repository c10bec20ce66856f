#include "rip/wave_output_media.h"

#include <cstring>

#include "common/little_endian.h"

namespace korvi {

std::array<uint8_t, 44> WaveHeader::Bytes() const {
  const uint16_t blockAlign = static_cast<uint16_t>(channels * bitsPerSample / 8);
  std::array<uint8_t, 44> bytes{};
  uint8_t* b = bytes.data();
  std::memcpy(b, "RIFF", 4);
  PutLe32(b + 4, riffSize);
  std::memcpy(b + 8, "WAVE", 4);
  std::memcpy(b + 12, "fmt ", 4);
  PutLe32(b + 16, 16);
  PutLe16(b + 20, 1);
  PutLe16(b + 22, channels);
  PutLe32(b + 24, sampleRate);
  PutLe32(b + 28, static_cast<uint32_t>(blockAlign) * sampleRate);
  PutLe16(b + 32, blockAlign);
  PutLe16(b + 34, bitsPerSample);
  std::memcpy(b + 36, "data", 4);
  PutLe32(b + 40, riffSize - 36);
  return bytes;
}

CWaveOutputMedia::~CWaveOutputMedia() = default;

void CWaveOutputMedia::WriteHeader() {
  const auto bytes = m_header.Bytes();
  m_stream.Write(bytes.data(), bytes.size());
}

int CWaveOutputMedia::Write(const uint8_t* data, int count) {
  int written = 0;
  if (!m_headerWritten) {
    m_headerWritten = true;
    m_header.bitsPerSample = 16;
    m_header.channels = 2;
    m_header.sampleRate = 44100;
    WriteHeader();
    written += 44;
  }
  if (count > 0) m_stream.Write(data, static_cast<size_t>(count));
  written += count > 0 ? count : 0;
  m_byteCount += written;
  return written;
}

void CWaveOutputMedia::Close() {
  if (!m_stream.IsOpen()) return;
  // A track that never got a sector still becomes a valid, empty WAV file.
  if (!m_headerWritten) Write(nullptr, 0);
  m_header.riffSize = static_cast<uint32_t>(m_byteCount - 8);
  const auto bytes = m_header.Bytes();
  m_stream.WriteAt(0, bytes.data(), bytes.size());
  COutputMediaFile::Close();
}

}  // namespace korvi
