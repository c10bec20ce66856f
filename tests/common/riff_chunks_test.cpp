// The two readers of WAVE headers walk the chunks the same way, by the rule each needs: the
// verification reader refuses a file any chunk of which does not add up, the disc-image reader
// takes the audio that a streaming writer or a cut copy left.
#include <gtest/gtest.h>

#include <string>

#include "common/byte_source.h"
#include "disc/image_file.h"
#include "fixtures/wave_bytes.h"
#include "verify/wave_audio_reader.h"

namespace korvi {
namespace {

using fixtures::Chunk;
using fixtures::Le32;
using fixtures::PcmFormat;
using fixtures::Wave;

struct Readings {
  std::string strict;   // "start+bytes", or the verification reader's refusal
  std::string lenient;  // "start+bytes", or the image reader's refusal, without the name
};

Readings Read(const std::string& file) {
  Readings out;
  WaveLayout layout;
  std::string error;
  out.strict = ReadWaveLayout(MemorySource(file), file.size(), &layout, &error)
                   ? std::to_string(layout.dataStart) + "+" + std::to_string(layout.dataBytes)
                   : error;
  WaveImageData data;
  error.clear();
  out.lenient = FindWaveImageData(MemorySource(file), int64_t(file.size()), "x.wav", &data, &error)
                    ? std::to_string(data.start) + "+" + std::to_string(data.size)
                    : error.substr(error.find(": ") + 2);
  return out;
}

TEST(RiffChunks, EachReaderKeepsItsRuleOverTheOneWalk) {
  const std::string fmt = Chunk("fmt ", PcmFormat());
  const std::string audio(16, 'a');
  const struct {
    const char* what;
    std::string file;
    Readings expected;
  } rows[] = {
      {"whole, with an odd chunk padded before the data", Wave(Chunk("junk", "odd") + fmt + Chunk("data", audio)),
       {"56+16", "56+16"}},
      {"tags after the data", Wave(fmt + Chunk("data", audio) + Chunk("LIST", "INFOxyz")), {"44+16", "44+16"}},
      {"a streamed data size",
       Wave(fmt + "data" + Le32(0xFFFFFFFF) + audio),
       {"truncated: the data chunk says 4294967295 bytes, the file holds 16", "44+16"}},
      {"a data chunk cut short, and not in whole samples",
       Wave(fmt + "data" + Le32(32) + audio + "ab"),
       {"truncated: the data chunk says 32 bytes, the file holds 18", "44+16"}},
      {"a chunk before the data reaching past the end",
       Wave(fmt + "LIST" + Le32(1000) + Chunk("data", audio)),
       {"the 'LIST' chunk reaches past the end of the file", "no data chunk"}},
      {"data before the format", Wave(Chunk("data", audio) + fmt),
       {"the data chunk comes before the format chunk", "the data chunk comes before any fmt chunk"}},
      {"a later format that is not CD audio", Wave(fmt + Chunk("fmt ", PcmFormat(1, 1)) + Chunk("data", audio)),
       {"68+16", "44100 Hz, 1 channel, 16 bits: only 44100 Hz 16-bit stereo PCM can be read as CD audio"}},
      {"no data", Wave(fmt), {"no data chunk", "no data chunk"}},
      {"not RIFF", "RIFX" + Le32(4) + "WAVE", {"not a WAV file (no RIFF WAVE header)", "not a RIFF WAVE file"}},
      {"too short for a header", "RIFF" + Le32(4),
       {"not a WAV file (no RIFF WAVE header)", "8 bytes, too short for a WAVE file"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    const Readings got = Read(row.file);
    EXPECT_EQ(got.strict, row.expected.strict);
    EXPECT_EQ(got.lenient, row.expected.lenient);
  }
}

}  // namespace
}  // namespace korvi
