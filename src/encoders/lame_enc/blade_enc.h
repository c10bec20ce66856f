#pragma once
// The BladeEnc encoder interface in its LAME layout, as lame_enc.so exports it and the MP3 writer
// loads it: the packed configuration record, the version record, the error codes and the entry points.

#include <cstddef>
#include <cstdint>

namespace korvi::blade {

using BE_ERR = uint32_t;
// An opaque stream handle; pointer-sized so that the module can keep its state behind it.
using HBE_STREAM = uintptr_t;

constexpr BE_ERR BE_ERR_SUCCESSFUL = 0;
constexpr BE_ERR BE_ERR_INVALID_FORMAT = 1;
constexpr BE_ERR BE_ERR_INVALID_FORMAT_PARAMETERS = 2;
constexpr BE_ERR BE_ERR_NO_MORE_HANDLES = 3;
constexpr BE_ERR BE_ERR_INVALID_HANDLE = 4;
constexpr BE_ERR BE_ERR_BUFFER_TOO_SMALL = 5;

constexpr uint32_t BE_CONFIG_MP3 = 0;     // the original BladeEnc layout (not supported)
constexpr uint32_t BE_CONFIG_LAME = 256;  // the LAME layout below

constexpr int32_t BE_MP3_MODE_STEREO = 0;
constexpr int32_t BE_MP3_MODE_JSTEREO = 1;
constexpr int32_t BE_MP3_MODE_DUALCHANNEL = 2;
constexpr int32_t BE_MP3_MODE_MONO = 3;

constexpr uint32_t MPEG1 = 1;
constexpr uint32_t MPEG2 = 0;

// Quality presets of the LAME layout (nPreset).
constexpr int32_t LQP_NOPRESET = -1;
constexpr int32_t LQP_NORMAL_QUALITY = 0;
constexpr int32_t LQP_LOW_QUALITY = 1;
constexpr int32_t LQP_HIGH_QUALITY = 2;
constexpr int32_t LQP_VOICE_QUALITY = 3;
constexpr int32_t LQP_R3MIX = 4;
constexpr int32_t LQP_VERYHIGH_QUALITY = 5;

// VBR methods (nVbrMethod).
constexpr int32_t VBR_METHOD_NONE = -1;
constexpr int32_t VBR_METHOD_DEFAULT = 0;
constexpr int32_t VBR_METHOD_OLD = 1;
constexpr int32_t VBR_METHOD_NEW = 2;
constexpr int32_t VBR_METHOD_MTRH = 3;
constexpr int32_t VBR_METHOD_ABR = 4;

constexpr uint32_t CURRENT_STRUCT_VERSION = 1;
constexpr size_t BE_MAX_HOMEPAGE = 128;

#pragma pack(push, 1)
struct BE_CONFIG {
  uint32_t dwConfig;  // BE_CONFIG_LAME
  // The LAME layout ("LHV1").
  uint32_t dwStructVersion;
  uint32_t dwStructSize;
  uint32_t dwSampleRate;    // input, Hz
  uint32_t dwReSampleRate;  // output, Hz; 0: the encoder decides
  int32_t nMode;            // BE_MP3_MODE_*
  uint32_t dwBitrate;       // kbit/s: the CBR rate, or the VBR minimum
  uint32_t dwMaxBitrate;    // kbit/s, VBR maximum; 0: none
  int32_t nPreset;          // LQP_*
  uint32_t dwMpegVersion;   // MPEG1 or MPEG2
  uint32_t dwPsyModel;
  uint32_t dwEmphasis;
  int32_t bPrivate;
  int32_t bCRC;
  int32_t bCopyright;
  int32_t bOriginal;
  int32_t bWriteVBRHeader;
  int32_t bEnableVBR;
  int32_t nVBRQuality;
  uint32_t dwVbrAbr_bps;
  int32_t nVbrMethod;
  int32_t bNoRes;
  int32_t bStrictIso;
  // Low byte: LAME quality 0..9, taken only when the high byte is its complement.
  uint16_t nQuality;
  uint8_t btReserved[237];
};

struct BE_VERSION {
  uint8_t byDLLMajorVersion;
  uint8_t byDLLMinorVersion;
  uint8_t byMajorVersion;  // of the encoder engine
  uint8_t byMinorVersion;
  uint8_t byDay;  // release date of the module
  uint8_t byMonth;
  uint16_t wYear;
  char zHomepage[BE_MAX_HOMEPAGE + 1];
  uint8_t byAlphaLevel;
  uint8_t byBetaLevel;
  uint8_t byMMXEnabled;
  uint8_t btReserved[125];
};
#pragma pack(pop)

static_assert(sizeof(BE_CONFIG) == 331);
static_assert(offsetof(BE_CONFIG, dwSampleRate) == 12 && offsetof(BE_CONFIG, nMode) == 20 &&
              offsetof(BE_CONFIG, nPreset) == 32 && offsetof(BE_CONFIG, bOriginal) == 60 &&
              offsetof(BE_CONFIG, bNoRes) == 84 && offsetof(BE_CONFIG, nQuality) == 92);
static_assert(sizeof(BE_VERSION) == 265);

// The entry points. nSamples counts 16-bit samples of all channels together; the samples are
// interleaved in the machine's byte order.
using BeInitStreamFn = BE_ERR (*)(BE_CONFIG* config, uint32_t* samplesPerChunk, uint32_t* outputBufferBytes,
                                  HBE_STREAM* stream);
using BeEncodeChunkFn = BE_ERR (*)(HBE_STREAM stream, uint32_t nSamples, const int16_t* samples,
                                   uint8_t* output, uint32_t* outputBytes);
using BeDeinitStreamFn = BE_ERR (*)(HBE_STREAM stream, uint8_t* output, uint32_t* outputBytes);
using BeCloseStreamFn = BE_ERR (*)(HBE_STREAM stream);
using BeVersionFn = void (*)(BE_VERSION* version);
using BeWriteVBRHeaderFn = BE_ERR (*)(const char* fileName);
using BeWriteInfoTagFn = BE_ERR (*)(HBE_STREAM stream, const char* fileName);

constexpr const char* kBeInitStream = "beInitStream";
constexpr const char* kBeEncodeChunk = "beEncodeChunk";
constexpr const char* kBeDeinitStream = "beDeinitStream";
constexpr const char* kBeCloseStream = "beCloseStream";
constexpr const char* kBeVersion = "beVersion";
constexpr const char* kBeWriteVBRHeader = "beWriteVBRHeader";
constexpr const char* kBeWriteInfoTag = "beWriteInfoTag";

}  // namespace korvi::blade
