#pragma once
// What the APE tests share: deterministic test signals, WAV files, our compressor driven through
// its entry points, the files' layout, and the two independent implementations of the format on
// this machine (FFmpeg's decoder and jmac, a Java port with its own encoder).

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace korvi::apetest {

using Pcm = std::vector<uint8_t>;  // 16-bit little-endian stereo, interleaved

// blocks (stereo samples) of each kind of signal.
Pcm Music(int blocks, uint32_t seed = 1);  // the disc-image writer's music-like audio
Pcm WhiteNoise(int blocks, uint32_t seed = 1);
Pcm Silence(int blocks);
Pcm OneChannelSilent(int silentChannel, int blocks);  // music on the other
Pcm IdenticalChannels(int blocks);
Pcm Concat(const std::vector<Pcm>& parts);

void WriteWav(const std::filesystem::path& path, const Pcm& pcm, int channels = 2);
std::vector<uint8_t> ReadFile(const std::filesystem::path& path);

// Compresses with our compressor, feeding it pieces of the given size, no stored WAV header.
// Empty when it worked, else the compressor's error text.
std::string EncodeOurs(const std::filesystem::path& out, const Pcm& pcm, int level, size_t piece = 2352,
                       int channels = 2);

// The parts of an .ape file of version 3990.
struct ApeFile {
  bool valid = false;
  uint16_t version = 0;
  uint32_t seekTableBytes = 0, headerDataBytes = 0, frameDataBytes = 0, terminatingBytes = 0;
  std::vector<uint8_t> md5;
  uint16_t level = 0, flags = 0, bitsPerSample = 0, channels = 0;
  uint32_t blocksPerFrame = 0, finalFrameBlocks = 0, totalFrames = 0, sampleRate = 0;
  std::vector<uint32_t> seekTable;
  std::vector<uint8_t> headerData, frameData, terminatingData;
  uint64_t fileSize = 0;
};
ApeFile ParseApe(const std::filesystem::path& path);

// FFmpeg's decoding with frame CRCs checked; false (and why in *error) when it fails.
bool DecodeWithFfmpeg(const std::filesystem::path& ape, Pcm* pcm, std::string* error);
// jmac: "c1".."c5" compress a WAV, "d" decompresses, "v" verifies. jmac reports failures only as
// an exception on its error output, so anything there counts as one.
bool RunJmac(const std::string& command, const std::filesystem::path& in, const std::filesystem::path& out,
             std::string* error);
// jmac d, then the PCM of the WAV it wrote.
bool DecodeWithJmac(const std::filesystem::path& ape, const std::filesystem::path& scratchWav, Pcm* pcm,
                    std::string* error);

}  // namespace korvi::apetest
