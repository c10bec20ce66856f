// Our files against the two independent implementations of the format, at every level: FFmpeg and
// jmac decode them to exactly the PCM that went in (FFmpeg checking every frame's CRC, jmac
// verifying the MD5 too), and our frame data equal, byte for byte, what jmac's own encoder makes of
// the same PCM. The files differ only where the stored WAV header does: jmac stores the WAV's
// header, ours carry none and the flag that tells decoders to make one.

#include <gtest/gtest.h>

#include "ape_test_support.h"
#include "fixtures/temp_dir.h"

namespace korvi::apetest {
namespace {

constexpr int kSector = 588;  // blocks in one CD sector

struct Signal {
  std::string name;
  Pcm pcm;
};

// Frames of 73,728 blocks: one file whose frames are each a kind of signal, the last one short.
std::vector<Signal> ShortFrameSignals() {
  const int frame = 73728;
  return {{"kinds", Concat({Music(frame), WhiteNoise(frame), Silence(frame), OneChannelSilent(0, frame),
                            OneChannelSilent(1, frame), IdenticalChannels(frame), Music(5000, 3)})},
          {"sector", Music(kSector, 5)}};
}

// Frames of 4 and 16 times that: a file of each kind, each shorter than one frame; and a whole
// frame of silence before a short one of music.
std::vector<Signal> LongFrameSignals(int level) {
  const int n = 30 * kSector + 17;
  return {{"music", Music(4 * n)},
          {"white", WhiteNoise(n)},
          {"silence", Silence(n)},
          {"silence-frame", Concat({Silence(level == 4000 ? 4 * 73728 : 16 * 73728), Music(n)})},
          {"left-silent", OneChannelSilent(0, n)},
          {"right-silent", OneChannelSilent(1, n)},
          {"identical", IdenticalChannels(n)},
          {"sector", Music(kSector, 5)}};
}

void ExpectExact(const fixtures::TempDir& dir, const Signal& signal, int level) {
  SCOPED_TRACE(signal.name + " at level " + std::to_string(level));
  const auto ours = dir / (signal.name + ".ape");
  const auto wav = dir / (signal.name + ".wav");
  const auto theirs = dir / (signal.name + ".jmac.ape");
  ASSERT_EQ(EncodeOurs(ours, signal.pcm, level), "");

  std::string error;
  Pcm decoded;
  EXPECT_TRUE(DecodeWithFfmpeg(ours, &decoded, &error)) << error;
  EXPECT_TRUE(decoded == signal.pcm) << "FFmpeg decodes other PCM";
  // jmac looks for an ID3v1 tag by seeking 128 bytes before the end, and fails on a smaller file:
  // one frame of pure silence, which is 96 bytes without a stored WAV header. The silence frame
  // before music covers that case for jmac.
  if (std::filesystem::file_size(ours) >= 128) {
    decoded.clear();
    EXPECT_TRUE(DecodeWithJmac(ours, dir / "decoded.wav", &decoded, &error)) << error;
    EXPECT_TRUE(decoded == signal.pcm) << "jmac decodes other PCM";
    EXPECT_TRUE(RunJmac("v", ours, {}, &error)) << error;
  }

  WriteWav(wav, signal.pcm);
  ASSERT_TRUE(RunJmac("c" + std::to_string(level / 1000), wav, theirs, &error)) << error;
  const ApeFile a = ParseApe(ours), b = ParseApe(theirs);
  ASSERT_TRUE(a.valid);
  ASSERT_TRUE(b.valid);
  EXPECT_TRUE(a.frameData == b.frameData) << "frame data differ from jmac's";
  EXPECT_EQ(a.frameDataBytes, b.frameDataBytes);
  EXPECT_EQ(a.version, 3990);
  EXPECT_EQ(a.level, level);
  EXPECT_EQ(a.blocksPerFrame, b.blocksPerFrame);
  EXPECT_EQ(a.totalFrames, b.totalFrames);
  EXPECT_EQ(a.finalFrameBlocks, b.finalFrameBlocks);
  EXPECT_EQ(a.channels, 2);
  EXPECT_EQ(a.sampleRate, 44100u);
  // Where the stored WAV header makes the difference.
  EXPECT_EQ(b.headerDataBytes, 44u);
  EXPECT_EQ(a.headerDataBytes, 0u);
  EXPECT_EQ(b.flags, 0);
  EXPECT_EQ(a.flags, 32);
  ASSERT_EQ(a.seekTable.size(), b.seekTable.size());
  for (size_t i = 0; i < a.seekTable.size(); ++i)
    EXPECT_EQ(a.seekTable[i] + 44, b.seekTable[i]) << "frame " << i;
}

class ApeExactness : public testing::TestWithParam<int> {};

TEST_P(ApeExactness, FfmpegAndJmacDecodeOurFilesAndJmacEncodesTheSameFrames) {
  const int level = GetParam();
  fixtures::TempDir dir;
  for (const Signal& signal : level <= 3000 ? ShortFrameSignals() : LongFrameSignals(level))
    ExpectExact(dir, signal, level);
}

INSTANTIATE_TEST_SUITE_P(Levels, ApeExactness, testing::Values(1000, 2000, 3000, 4000, 5000),
                         [](const testing::TestParamInfo<int>& info) { return std::to_string(info.param); });

}  // namespace
}  // namespace korvi::apetest
