#include "ape_test_support.h"

#include <cstring>
#include <fstream>
#include <iterator>

#include "encoders/ape/ape_compress.h"
#include "fixtures/disc_image_writer.h"
#include "fixtures/temp_dir.h"
#include "text/utf16_text.h"

namespace korvi::apetest {
namespace {

constexpr int kBlocksPerSector = 588;

void Put16(uint8_t* at, uint32_t v) {
  at[0] = uint8_t(v);
  at[1] = uint8_t(v >> 8);
}
void Put32(uint8_t* at, uint32_t v) {
  for (int i = 0; i < 4; ++i) at[i] = uint8_t(v >> (8 * i));
}
uint16_t Get16(const std::vector<uint8_t>& b, size_t at) { return uint16_t(b[at] | b[at + 1] << 8); }
uint32_t Get32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24;
}

void SetSample(Pcm& pcm, int block, int channel, int16_t value) {
  Put16(pcm.data() + 4 * size_t(block) + 2 * channel, uint16_t(value));
}
int16_t GetSample(const Pcm& pcm, int block, int channel) {
  return int16_t(Get16(pcm, 4 * size_t(block) + 2 * channel));
}

}  // namespace

Pcm Music(int blocks, uint32_t seed) {
  Pcm pcm(4 * size_t(blocks));
  uint8_t sector[2352];
  for (int start = 0, index = 0; start < blocks; start += kBlocksPerSector, ++index) {
    fixtures::FillAudioSector(seed, 1, index, sector);
    const int count = blocks - start < kBlocksPerSector ? blocks - start : kBlocksPerSector;
    std::memcpy(pcm.data() + 4 * size_t(start), sector, 4 * size_t(count));
  }
  return pcm;
}

Pcm WhiteNoise(int blocks, uint32_t seed) {
  Pcm pcm(4 * size_t(blocks));
  uint32_t x = seed * 2654435761u + 1;
  for (uint8_t& byte : pcm) {
    x = x * 1664525u + 1013904223u;
    byte = uint8_t(x >> 24);
  }
  return pcm;
}

Pcm Silence(int blocks) { return Pcm(4 * size_t(blocks), 0); }

Pcm OneChannelSilent(int silentChannel, int blocks) {
  Pcm pcm = Music(blocks, 7);
  for (int i = 0; i < blocks; ++i) SetSample(pcm, i, silentChannel, 0);
  return pcm;
}

Pcm IdenticalChannels(int blocks) {
  Pcm pcm = Music(blocks, 11);
  for (int i = 0; i < blocks; ++i) SetSample(pcm, i, 1, GetSample(pcm, i, 0));
  return pcm;
}

Pcm Concat(const std::vector<Pcm>& parts) {
  Pcm all;
  for (const Pcm& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

void WriteWav(const std::filesystem::path& path, const Pcm& pcm, int channels) {
  uint8_t h[44] = {};
  std::memcpy(h, "RIFF", 4);
  Put32(h + 4, uint32_t(36 + pcm.size()));
  std::memcpy(h + 8, "WAVEfmt ", 8);
  Put32(h + 16, 16);
  Put16(h + 20, 1);
  Put16(h + 22, uint32_t(channels));
  Put32(h + 24, 44100);
  Put32(h + 28, 44100u * 2 * uint32_t(channels));
  Put16(h + 32, 2 * uint32_t(channels));
  Put16(h + 34, 16);
  std::memcpy(h + 36, "data", 4);
  Put32(h + 40, uint32_t(pcm.size()));
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(h), 44);
  out.write(reinterpret_cast<const char*>(pcm.data()), std::streamsize(pcm.size()));
}

std::vector<uint8_t> ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string EncodeOurs(const std::filesystem::path& out, const Pcm& pcm, int level, size_t piece,
                       int channels) {
  auto compressor = CreateIAPECompress();
  if (!compressor) return "no compressor";
  WaveFormatEx format;
  FillWaveFormatEx(&format, 44100, 16, channels);
  const std::u16string name = Utf8ToUtf16(out.string()).value_or(u"");
  if (compressor->Start(name.c_str(), &format, kApeMaxAudioBytesUnknown, level) != kApeSuccess)
    return compressor->ErrorText();
  for (size_t at = 0; at < pcm.size(); at += piece) {
    const size_t size = pcm.size() - at < piece ? pcm.size() - at : piece;
    if (compressor->AddData(pcm.data() + at, int64_t(size)) != kApeSuccess) return compressor->ErrorText();
  }
  if (compressor->Finish() != kApeSuccess) return compressor->ErrorText();
  return {};
}

ApeFile ParseApe(const std::filesystem::path& path) {
  ApeFile f;
  const std::vector<uint8_t> b = ReadFile(path);
  f.fileSize = b.size();
  if (b.size() < 76 || std::memcmp(b.data(), "MAC ", 4) != 0) return f;
  f.version = Get16(b, 4);
  const uint32_t descriptorBytes = Get32(b, 8), headerBytes = Get32(b, 12);
  f.seekTableBytes = Get32(b, 16);
  f.headerDataBytes = Get32(b, 20);
  f.frameDataBytes = Get32(b, 24);
  f.terminatingBytes = Get32(b, 32);
  f.md5.assign(b.begin() + 36, b.begin() + 52);
  const size_t h = descriptorBytes;
  if (descriptorBytes != 52 || headerBytes != 24 || Get32(b, 28) != 0) return f;
  f.level = Get16(b, h);
  f.flags = Get16(b, h + 2);
  f.blocksPerFrame = Get32(b, h + 4);
  f.finalFrameBlocks = Get32(b, h + 8);
  f.totalFrames = Get32(b, h + 12);
  f.bitsPerSample = Get16(b, h + 16);
  f.channels = Get16(b, h + 18);
  f.sampleRate = Get32(b, h + 20);
  size_t at = 76;
  const uint64_t total =
      uint64_t(at) + f.seekTableBytes + f.headerDataBytes + f.frameDataBytes + f.terminatingBytes;
  if (total != b.size()) return f;
  for (uint32_t i = 0; i < f.seekTableBytes / 4; ++i) f.seekTable.push_back(Get32(b, at + 4 * i));
  at += f.seekTableBytes;
  f.headerData.assign(b.begin() + at, b.begin() + at + f.headerDataBytes);
  at += f.headerDataBytes;
  f.frameData.assign(b.begin() + at, b.begin() + at + f.frameDataBytes);
  at += f.frameDataBytes;
  f.terminatingData.assign(b.begin() + at, b.end());
  f.valid = true;
  return f;
}

bool DecodeWithFfmpeg(const std::filesystem::path& ape, Pcm* pcm, std::string* error) {
  const auto raw = ape.string() + ".ffmpeg.raw";
  const auto result = fixtures::RunCommand("ffmpeg -nostdin -v error -err_detect crccheck -i " +
                                           fixtures::ShellQuote(ape.string()) + " -f s16le -y " +
                                           fixtures::ShellQuote(raw) + " 2>&1");
  *pcm = ReadFile(raw);
  std::filesystem::remove(raw);
  if (result.status != 0 || !result.out.empty()) {
    *error = "ffmpeg: " + result.out;
    return false;
  }
  return true;
}

bool RunJmac(const std::string& command, const std::filesystem::path& in, const std::filesystem::path& out,
             std::string* error) {
  std::string line = "jmac " + command + " " + fixtures::ShellQuote(in.string());
  if (!out.empty()) line += " " + fixtures::ShellQuote(out.string());
  const auto result = fixtures::RunCommand(line + " 2>&1 >/dev/null");
  if (result.status != 0 || !result.out.empty()) {
    *error = "jmac " + command + ": " + result.out;
    return false;
  }
  return true;
}

bool DecodeWithJmac(const std::filesystem::path& ape, const std::filesystem::path& scratchWav, Pcm* pcm,
                    std::string* error) {
  if (!RunJmac("d", ape, scratchWav, error)) return false;
  const std::vector<uint8_t> wav = ReadFile(scratchWav);
  std::filesystem::remove(scratchWav);
  // The samples are the "data" chunk, wherever the header jmac made puts it.
  for (size_t at = 12; wav.size() >= 12 && at + 8 <= wav.size();) {
    const uint32_t size = Get32(wav, at + 4);
    if (std::memcmp(wav.data() + at, "data", 4) == 0 && at + 8 + size <= wav.size()) {
      pcm->assign(wav.begin() + long(at) + 8, wav.begin() + long(at) + 8 + size);
      return true;
    }
    at += 8 + size + (size & 1);
  }
  *error = "jmac d wrote no WAV data";
  return false;
}

}  // namespace korvi::apetest
