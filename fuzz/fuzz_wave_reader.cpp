// ReadWaveLayout on arbitrary bytes, the header walk of the WAV files that the verify command sums:
// the data it finds lies within the file after the chunks before it, and a refusal says why in
// printable text whatever the chunk ids were.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_checks.h"
#include "verify/wave_audio_reader.h"

using korvi::fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view file(reinterpret_cast<const char*>(data), size);
  korvi::WaveLayout layout;
  std::string error;
  if (!korvi::ReadWaveLayout(korvi::MemorySource(file), size, &layout, &error)) {
    Require(!error.empty());
    for (const char c : error) Require(c >= 0x20 && c < 0x7F);
    return 0;
  }
  Require(layout.dataStart >= 12 + 24 + 8 && layout.dataStart + layout.dataBytes <= size);
  Require(file.substr(layout.dataStart - 8, 4) == "data");
  Require(!layout.format.Text().empty());
  return 0;
}
