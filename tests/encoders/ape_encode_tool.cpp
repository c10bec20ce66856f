// korvi-ape-encode IN.wav OUT.ape LEVEL [--kernel plain|avx2|avx512] [--piece BYTES]
// Compresses a 16-bit PCM WAV file with our compressor, feeding it in pieces as a rip would
// (2352 bytes unless --piece says otherwise), with no stored WAV header. The tests and the
// benchmark use it; it prints the time the compression took on stderr.

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "encoders/ape/ape_compress.h"
#include "encoders/ape/nn_filter.h"
#include "text/utf16_text.h"

namespace {

uint32_t Le32(const char* p) {
  return uint8_t(p[0]) | uint8_t(p[1]) << 8 | uint8_t(p[2]) << 16 | uint32_t(uint8_t(p[3])) << 24;
}
uint16_t Le16(const char* p) { return uint16_t(uint8_t(p[0]) | uint8_t(p[1]) << 8); }

// The format record and the offset and size of the data chunk, or false.
bool ReadWavLayout(std::ifstream& in, korvi::WaveFormatEx* format, uint64_t* dataSize) {
  char riff[12];
  if (!in.read(riff, 12) || std::memcmp(riff, "RIFF", 4) != 0 || std::memcmp(riff + 8, "WAVE", 4) != 0)
    return false;
  bool haveFormat = false;
  char chunk[8];
  while (in.read(chunk, 8)) {
    const uint32_t size = Le32(chunk + 4);
    if (std::memcmp(chunk, "fmt ", 4) == 0 && size >= 16) {
      std::vector<char> body(size);
      if (!in.read(body.data(), size)) return false;
      korvi::FillWaveFormatEx(format, int(Le32(body.data() + 4)), Le16(body.data() + 14),
                              Le16(body.data() + 2));
      format->formatTag = Le16(body.data());
      haveFormat = true;
    } else if (std::memcmp(chunk, "data", 4) == 0) {
      *dataSize = size;
      return haveFormat;
    } else {
      in.seekg(size + (size & 1), std::ios::cur);
    }
    if (size & 1) in.seekg(1, std::ios::cur);
  }
  return false;
}

int Usage() {
  std::cerr << "usage: korvi-ape-encode IN.wav OUT.ape LEVEL [--kernel plain|avx2|avx512] [--piece BYTES]\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) return Usage();
  const int level = std::atoi(argv[3]);
  size_t piece = 2352;
  for (int i = 4; i + 1 < argc; i += 2) {
    const std::string option = argv[i], value = argv[i + 1];
    if (option == "--piece") {
      piece = size_t(std::atol(value.c_str()));
      if (piece == 0) return Usage();
    } else if (option == "--kernel") {
      bool forced = false;
      for (auto kernel :
           {korvi::ape::NNKernel::kPlain, korvi::ape::NNKernel::kAvx2, korvi::ape::NNKernel::kAvx512})
        if (value == korvi::ape::NNKernelName(kernel)) forced = korvi::ape::ForceNNKernel(kernel);
      if (!forced) {
        std::cerr << "korvi-ape-encode: kernel " << value << " is not available here\n";
        return 1;
      }
    } else {
      return Usage();
    }
  }

  std::ifstream in(argv[1], std::ios::binary);
  korvi::WaveFormatEx format;
  uint64_t dataSize = 0;
  if (!in || !ReadWavLayout(in, &format, &dataSize)) {
    std::cerr << "korvi-ape-encode: " << argv[1] << " is not a WAV file\n";
    return 1;
  }
  const auto started = std::chrono::steady_clock::now();
  auto compressor = korvi::CreateIAPECompress();
  const std::u16string name = korvi::Utf8ToUtf16(argv[2]).value_or(u"");
  if (compressor->Start(name.c_str(), &format, korvi::kApeMaxAudioBytesUnknown, level) !=
      korvi::kApeSuccess) {
    std::cerr << "korvi-ape-encode: " << compressor->ErrorText() << '\n';
    return 1;
  }
  std::vector<char> buffer(piece);
  while (dataSize > 0 && in) {
    in.read(buffer.data(), std::streamsize(dataSize < piece ? dataSize : piece));
    const auto got = in.gcount();
    if (got <= 0) break;
    dataSize -= uint64_t(got);
    if (compressor->AddData(reinterpret_cast<const uint8_t*>(buffer.data()), got) != korvi::kApeSuccess) {
      std::cerr << "korvi-ape-encode: " << compressor->ErrorText() << '\n';
      return 1;
    }
  }
  if (compressor->Finish() != korvi::kApeSuccess) {
    std::cerr << "korvi-ape-encode: " << compressor->ErrorText() << '\n';
    return 1;
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  std::cerr << "kernel " << korvi::ape::NNKernelName(korvi::ape::ActiveNNKernel()) << ", " << seconds
            << " s\n";
  return 0;
}
