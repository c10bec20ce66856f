#pragma once
// MP3 files through the BladeEnc encoder module lame_enc.so, loaded for every file: raw CD audio is
// gathered into the encoder's chunks, and an ID3v1 tag follows the last MP3 byte when a tag track is set.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "encoders/lame_enc/blade_enc.h"
#include "rip/output_media.h"

namespace korvi {

// Shows a message to the user and returns once it has been seen. Called on the rip worker's thread.
using ShowErrorFn = std::function<void(const std::string& text)>;

// UTF-8 to Latin-1: a character that Latin-1 lacks, or a byte that is not UTF-8, becomes '?'.
std::string Utf8ToLatin1(std::string_view utf8);

// The 128-byte ID3v1 tag of a track: texts in Latin-1 cut to their fields, year as "%d" in at most
// four characters, genre 0.
std::array<uint8_t, 128> MakeId3v1Tag(const CTrackInfo& track);

class CMP3LameOutput : public COutputMediaFile {
 public:
  static constexpr const char* kModuleName = "lame_enc.so";
  static constexpr int kPcmBufferBytes = 10240;

  // Loads the module (by name: LD_LIBRARY_PATH and the system's order first, then the folder of the
  // executable) and opens an encoder stream. A module that cannot be loaded is reported through
  // showError as "Library lame_enc.so can not be found!"; the writer then stays not ready, as it does,
  // silently, when an entry point is missing or the encoder refuses the settings. Either way Failed()
  // tells why. moduleName is for tests.
  CMP3LameOutput(int32_t sampleRate, int32_t bitRate, std::string fileName, ShowErrorFn showError = {},
                 std::string moduleName = kModuleName);
  ~CMP3LameOutput() override;

  // −1 when not ready or the encoder failed; else the MP3 bytes written to the file by this call.
  int Write(const uint8_t* data, int count) override;
  // Encodes what is left, flushes the encoder, writes the encoder's info frame into the first frame,
  // releases the module, appends the tag, closes the file.
  void Close() override;

  bool IsReady() const { return m_ready; }

 private:
  struct Module;
  struct ModuleCloser {
    void operator()(void* handle) const;
  };

  bool LoadModule(const std::string& moduleName, const ShowErrorFn& showError);
  bool FindEntryPoints();
  bool OpenEncoder(int32_t sampleRate, int32_t bitRate);
  int ChunkBytes() const { return int(m_samplesPerChunk) * 2; }
  uint8_t* PcmBytes() { return reinterpret_cast<uint8_t*>(m_pcm); }
  // Encodes the first count bytes of the PCM buffer and moves the rest to its start; −1 on failure.
  int EncodeBuffered(int count);
  void FlushEncoder();
  // Writes the info frame and closes the encoder's stream; false when the stream stays open.
  bool CloseEncoder();
  void WriteEncoded(uint32_t bytes);

  bool m_ready = false;
  std::unique_ptr<void, ModuleCloser> m_module;
  std::string m_moduleName;
  std::unique_ptr<Module> m_entry;
  blade::BE_CONFIG m_config{};
  uint32_t m_samplesPerChunk = 0;
  uint32_t m_outputBufferBytes = 0;
  blade::HBE_STREAM m_encoder = 0;
  bool m_encoderOpen = false;
  int16_t m_pcm[kPcmBufferBytes / 2];  // raw CD audio: little-endian bytes
  int m_buffered = 0;                  // bytes
  std::vector<uint8_t> m_output;
};

}  // namespace korvi
