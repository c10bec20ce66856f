#pragma once
// Our compressor for Monkey's Audio (.ape) files, file version 3990, with the entry points of the
// Monkey's Audio SDK that the APE writer uses: CreateIAPECompress, FillWaveFormatEx and the
// compressor's Start, AddData and Finish.
//
// The compressor streams: it takes the PCM in pieces of any size without knowing the length, keeps
// one frame of it, and writes the seek table, the header and the MD5 when Finish runs. Its frames
// are the reference encoder's, byte for byte, at every level.

#include <cstdint>
#include <memory>
#include <string>

namespace korvi {

// The Windows WAVEFORMATEX record, field for field.
struct WaveFormatEx {
  uint16_t formatTag = 0;  // 1: PCM
  uint16_t channels = 0;
  uint32_t samplesPerSec = 0;
  uint32_t avgBytesPerSec = 0;
  uint16_t blockAlign = 0;
  uint16_t bitsPerSample = 0;
  uint16_t extraSize = 0;
};

// Compression levels.
constexpr int kApeLevelFast = 1000;
constexpr int kApeLevelNormal = 2000;
constexpr int kApeLevelHigh = 3000;
constexpr int kApeLevelExtraHigh = 4000;
constexpr int kApeLevelInsane = 5000;

// Start's maximum audio bytes when the length is not known.
constexpr int64_t kApeMaxAudioBytesUnknown = -1;
// Start's header byte count for "no stored WAV header": the file then carries the flag that tells
// decoders to make one.
constexpr int64_t kApeCreateWavHeaderOnDecompression = -1;

// Results, numbered as the SDK numbers them.
enum ApeResult : int {
  kApeSuccess = 0,
  kApeErrorIoWrite = 1001,
  kApeErrorInvalidOutputFile = 1003,
  kApeErrorUnsupportedBitDepth = 1005,
  kApeErrorUnsupportedSampleRate = 1006,
  kApeErrorUnsupportedChannelCount = 1007,
  kApeErrorInvalidFunctionParameter = 1012,
  kApeErrorUnsupportedFormat = 1013,
  kApeErrorInsufficientMemory = 2000,
  kApeErrorBadParameter = 5000,
  kApeErrorTooMuchData = 6000,
  kApeErrorUndefined = -1,
};

class IAPECompress {
 public:
  virtual ~IAPECompress() = default;

  // Creates the file and writes its provisional header. maxAudioBytes: the most PCM bytes that will
  // come, or kApeMaxAudioBytesUnknown. level: 1000, 2000, 3000, 4000 or 5000; any other value is
  // refused before a file is created. headerData/headerBytes: the WAV header to store, or null and
  // kApeCreateWavHeaderOnDecompression. Accepts 16-bit PCM, mono or stereo. kApeSuccess or why not.
  virtual int Start(const char16_t* outputFileName, const WaveFormatEx* inputFormat,
                    int64_t maxAudioBytes = kApeMaxAudioBytesUnknown, int level = kApeLevelNormal,
                    const void* headerData = nullptr,
                    int64_t headerBytes = kApeCreateWavHeaderOnDecompression) = 0;
  // Takes PCM bytes in any piece sizes; whole frames are compressed and written as they fill.
  virtual int AddData(const uint8_t* data, int64_t bytes) = 0;
  // Compresses what is left (an incomplete last sample is dropped), appends the terminating data
  // and writes the seek table, header and MD5. The file is complete only after this.
  virtual int Finish(const uint8_t* terminatingData = nullptr, int64_t terminatingBytes = 0,
                     int64_t wavTerminatingBytes = 0) = 0;

  // Why the last failed call failed, in words for the user ("" after success).
  virtual const std::string& ErrorText() const = 0;
};

// A new compressor, or null when there is no memory for one.
std::unique_ptr<IAPECompress> CreateIAPECompress(int* errorCode = nullptr);

// Fills a PCM format record. kApeSuccess, or kApeErrorBadParameter for a null record or values
// that do not fit it.
int FillWaveFormatEx(WaveFormatEx* format, int sampleRate = 44100, int bitsPerSample = 16, int channels = 2);

}  // namespace korvi
