// FindWaveImageData on arbitrary bytes, the header walk of a WAVE file a cue sheet names: the audio
// it finds lies within the file after a format chunk, in whole samples, and a file that the verify
// command's reader takes too is found at the same place with CD audio's format.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "disc/image_file.h"
#include "fuzz_checks.h"
#include "verify/wave_audio_reader.h"

using korvi::fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view file(reinterpret_cast<const char*>(data), size);
  korvi::WaveImageData audio;
  std::string error;
  if (!korvi::FindWaveImageData(korvi::MemorySource(file), int64_t(size), "image.wav", &audio, &error)) {
    Require(error.starts_with("image.wav: "));
    korvi::fuzz::RequireUtf8(error);
    return 0;
  }
  // RIFF header, fmt chunk with its 16 bytes at least, data chunk header.
  Require(audio.start >= 12 + 24 + 8 && audio.size >= 0 && audio.size % 4 == 0);
  Require(audio.start + audio.size <= int64_t(size));

  korvi::WaveLayout layout;
  if (korvi::ReadWaveLayout(korvi::MemorySource(file), size, &layout, &error)) {
    Require(layout.dataStart == uint64_t(audio.start) && layout.format.IsCdAudio());
    // The image reader takes the rest of the file for a size of 0 (a writer that streams).
    if (layout.dataBytes != 0) Require(audio.size == int64_t(layout.dataBytes - layout.dataBytes % 4));
  }
  return 0;
}
