#pragma once
// The PCM audio of a WAV file, for checking a rip that is already on disk: the RIFF chunks are
// walked to the format and the data chunk, whatever else (LIST, fact, padding) lies between them,
// and the data is handed out in chunks.

#include <cstdint>
#include <cstdio>
#include <string>

#include "common/byte_source.h"

namespace korvi {

struct WaveFormat {
  uint16_t tag = 0;  // 1: PCM (an extensible header's sub-format when it has one)
  uint16_t channels = 0;
  uint32_t sampleRate = 0;
  uint16_t bitsPerSample = 0;

  // 44.1 kHz 16-bit stereo PCM: a CD's audio, byte for byte.
  bool IsCdAudio() const { return tag == 1 && channels == 2 && sampleRate == 44100 && bitsPerSample == 16; }
  // "PCM, 48000 Hz, 24-bit, 1 channel(s)"
  std::string Text() const;
};

// Where a WAV file's PCM audio lies, and in what format.
struct WaveLayout {
  WaveFormat format;
  uint64_t dataStart = 0;  // the data chunk's first byte
  uint64_t dataBytes = 0;  // the data chunk's size as the file says it, within the file
};

// Walks the RIFF chunks of the file of fileBytes bytes that source reads, to its format and its
// data chunk. False, with *error saying why (without the file's name), as WaveAudioReader::Open
// refuses a file. Reads only the headers.
bool ReadWaveLayout(const ByteSource& source, uint64_t fileBytes, WaveLayout* layout, std::string* error);

class WaveAudioReader {
 public:
  WaveAudioReader() = default;
  ~WaveAudioReader();
  WaveAudioReader(const WaveAudioReader&) = delete;
  WaveAudioReader& operator=(const WaveAudioReader&) = delete;

  // Opens path and finds its format and data chunk. False, with Error(), when the file cannot be
  // read or is not a regular file, is not RIFF WAVE, has no format before its data, or when a
  // chunk (the data chunk included) says it reaches past the end of the file.
  bool Open(const std::string& path);

  const WaveFormat& Format() const { return m_format; }
  // The data chunk's size as the file says it, checked against the file's size.
  uint64_t DataBytes() const { return m_dataBytes; }

  // Up to size next bytes of the data chunk; 0 at its end, or after a read error (Error() set).
  size_t Read(uint8_t* buffer, size_t size);

  // Why the last Open or Read failed, naming the file: "PATH: not a WAV file (...)".
  const std::string& Error() const { return m_error; }

 private:
  bool Fail(const std::string& error);

  std::FILE* m_file = nullptr;
  std::string m_path;
  WaveFormat m_format;
  uint64_t m_dataBytes = 0;
  uint64_t m_dataLeft = 0;
  std::string m_error;
};

}  // namespace korvi
