// The compressor through its entry points: what Start accepts and refuses, streaming in pieces of
// any size, the layout that Finish writes, and the checksums that jmac verifies.

#include "encoders/ape/ape_compress.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "ape_test_support.h"
#include "fixtures/temp_dir.h"
#include "text/utf16_text.h"

namespace korvi::apetest {
namespace {

std::u16string Name(const std::filesystem::path& path) {
  const std::optional<std::u16string> name = Utf8ToUtf16(path.string());
  EXPECT_TRUE(name);
  return name.value_or(u"");
}

WaveFormatEx CdFormat() {
  WaveFormatEx format;
  FillWaveFormatEx(&format, 44100, 16, 2);
  return format;
}

TEST(ApeCompress, FillWaveFormatExDescribesCdAudio) {
  WaveFormatEx format;
  ASSERT_EQ(FillWaveFormatEx(&format, 44100, 16, 2), kApeSuccess);
  EXPECT_EQ(format.formatTag, 1);
  EXPECT_EQ(format.channels, 2);
  EXPECT_EQ(format.samplesPerSec, 44100u);
  EXPECT_EQ(format.avgBytesPerSec, 176400u);
  EXPECT_EQ(format.blockAlign, 4);
  EXPECT_EQ(format.bitsPerSample, 16);
  EXPECT_EQ(format.extraSize, 0);
  EXPECT_EQ(FillWaveFormatEx(nullptr), kApeErrorBadParameter);
  EXPECT_EQ(FillWaveFormatEx(&format, 0, 16, 2), kApeErrorBadParameter);
}

TEST(ApeCompress, StartRefusesBeforeCreatingAFile) {
  fixtures::TempDir dir;
  const auto path = dir / "refused.ape";
  const WaveFormatEx cd = CdFormat();
  for (int level : {0, 1500, 6000, -2000, 1000000}) {
    auto compressor = CreateIAPECompress();
    ASSERT_TRUE(compressor);
    EXPECT_EQ(compressor->Start(Name(path).c_str(), &cd, kApeMaxAudioBytesUnknown, level),
              kApeErrorBadParameter);
    EXPECT_NE(compressor->ErrorText().find("compression level " + std::to_string(level)), std::string::npos)
        << compressor->ErrorText();
    const uint8_t sample[4] = {};
    EXPECT_NE(compressor->AddData(sample, 4), kApeSuccess);
    EXPECT_NE(compressor->Finish(), kApeSuccess);
  }
  WaveFormatEx eightBit, threeChannels, notPcm = cd;
  FillWaveFormatEx(&eightBit, 44100, 8, 2);
  FillWaveFormatEx(&threeChannels, 44100, 16, 3);
  notPcm.formatTag = 3;
  const struct {
    const WaveFormatEx* format;
    int expected;
  } formats[] = {{&eightBit, kApeErrorUnsupportedBitDepth},
                 {&threeChannels, kApeErrorUnsupportedChannelCount},
                 {&notPcm, kApeErrorUnsupportedFormat},
                 {nullptr, kApeErrorInvalidFunctionParameter}};
  for (const auto& c : formats)
    EXPECT_EQ(CreateIAPECompress()->Start(Name(path).c_str(), c.format), c.expected);
  const char16_t loneSurrogate[] = {u'a', char16_t(0xD800), u'b', 0};
  EXPECT_EQ(CreateIAPECompress()->Start(loneSurrogate, &cd), kApeErrorInvalidOutputFile);
  EXPECT_EQ(CreateIAPECompress()->Start(u"", &cd), kApeErrorInvalidOutputFile);
  EXPECT_EQ(CreateIAPECompress()->Start(nullptr, &cd), kApeErrorInvalidOutputFile);
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(ApeCompress, CallsOutOfOrderAndUnwritableFilesAreRefused) {
  fixtures::TempDir dir;
  const WaveFormatEx cd = CdFormat();
  auto compressor = CreateIAPECompress();
  const uint8_t sample[4] = {1, 2, 3, 4};
  EXPECT_EQ(compressor->AddData(sample, 4), kApeErrorUndefined);
  EXPECT_EQ(compressor->Finish(), kApeErrorUndefined);

  EXPECT_EQ(compressor->Start(Name(dir / "missing" / "x.ape").c_str(), &cd), kApeErrorInvalidOutputFile);
  EXPECT_EQ(compressor->ErrorText(), "cannot create the file: No such file or directory");

  ASSERT_EQ(compressor->Start(Name(dir / "x.ape").c_str(), &cd), kApeSuccess);
  EXPECT_EQ(compressor->Start(Name(dir / "y.ape").c_str(), &cd), kApeErrorUndefined);
  EXPECT_EQ(compressor->AddData(nullptr, 4), kApeErrorInvalidFunctionParameter);
  EXPECT_EQ(compressor->AddData(sample, -1), kApeErrorInvalidFunctionParameter);
  ASSERT_EQ(compressor->AddData(sample, 4), kApeSuccess);
  ASSERT_EQ(compressor->Finish(), kApeSuccess);
  EXPECT_EQ(compressor->AddData(sample, 4), kApeErrorUndefined);
  EXPECT_EQ(compressor->Finish(), kApeErrorUndefined);
}

TEST(ApeCompress, PiecesOfAnySizeGiveTheSameFile) {
  fixtures::TempDir dir;
  // Two frames and a bit at level 1000, with an odd last piece.
  const Pcm pcm = Concat({Music(73728 + 9000), WhiteNoise(3)});
  ASSERT_EQ(EncodeOurs(dir / "whole.ape", pcm, 1000, pcm.size()), "");
  const auto whole = ReadFile(dir / "whole.ape");
  for (size_t piece : {size_t(1), size_t(3), size_t(2352), size_t(65537)}) {
    SCOPED_TRACE(piece);
    const auto path = dir / ("piece" + std::to_string(piece) + ".ape");
    ASSERT_EQ(EncodeOurs(path, pcm, 1000, piece), "");
    EXPECT_TRUE(ReadFile(path) == whole);
  }
}

TEST(ApeCompress, FinishWritesTheLayoutForTheFramesThatCame) {
  fixtures::TempDir dir;
  const int blocks = 3 * 73728 + 1234;
  const auto path = dir / "layout.ape";
  ASSERT_EQ(EncodeOurs(path, Music(blocks), 3000), "");
  const ApeFile f = ParseApe(path);
  ASSERT_TRUE(f.valid);
  EXPECT_EQ(f.version, 3990);
  EXPECT_EQ(f.level, 3000);
  EXPECT_EQ(f.flags, 32);  // no stored WAV header: decoders make one
  EXPECT_EQ(f.headerDataBytes, 0u);
  EXPECT_EQ(f.blocksPerFrame, 73728u);
  EXPECT_EQ(f.totalFrames, 4u);
  EXPECT_EQ(f.finalFrameBlocks, 1234u);
  EXPECT_EQ(f.bitsPerSample, 16);
  EXPECT_EQ(f.channels, 2);
  EXPECT_EQ(f.sampleRate, 44100u);
  EXPECT_EQ(f.terminatingBytes, 0u);
  // A seek table of exactly the frames, entry 0 right after it; the frame data a whole number of
  // words.
  ASSERT_EQ(f.seekTable.size(), 4u);
  EXPECT_EQ(f.seekTable[0], 76u + 16u);
  for (size_t i = 1; i < f.seekTable.size(); ++i) EXPECT_GT(f.seekTable[i], f.seekTable[i - 1]);
  EXPECT_LT(f.seekTable[3], f.seekTable[0] + f.frameDataBytes);
  EXPECT_EQ(f.frameDataBytes % 4, 0u);
  std::string error;
  EXPECT_TRUE(RunJmac("v", path, {}, &error)) << error;
}

TEST(ApeCompress, NoAudioGivesAFileWithoutFrames) {
  fixtures::TempDir dir;
  const auto path = dir / "empty.ape";
  ASSERT_EQ(EncodeOurs(path, Pcm{1, 2, 3}, 2000), "");  // less than one sample
  const ApeFile f = ParseApe(path);
  ASSERT_TRUE(f.valid);
  EXPECT_EQ(f.totalFrames, 0u);
  EXPECT_EQ(f.finalFrameBlocks, 0u);
  EXPECT_TRUE(f.seekTable.empty());
  EXPECT_EQ(f.frameDataBytes, 4u);
}

TEST(ApeCompress, AnIncompleteLastSampleIsDropped) {
  fixtures::TempDir dir;
  const Pcm pcm = Music(5000);
  Pcm ragged = pcm;
  ragged.insert(ragged.end(), {9, 9, 9});
  ASSERT_EQ(EncodeOurs(dir / "ragged.ape", ragged, 2000), "");
  Pcm decoded;
  std::string error;
  ASSERT_TRUE(DecodeWithFfmpeg(dir / "ragged.ape", &decoded, &error)) << error;
  EXPECT_TRUE(decoded == pcm);
}

// Told the length and given the WAV header to store, the compressor writes what jmac's encoder
// writes for that WAV file, down to the MD5.
TEST(ApeCompress, WithAStoredHeaderTheWholeFileIsJmacs) {
  fixtures::TempDir dir;
  const Pcm pcm = Concat({Music(80000), WhiteNoise(2000)});
  const auto wav = dir / "in.wav";
  WriteWav(wav, pcm);
  const std::vector<uint8_t> wavBytes = ReadFile(wav);
  const std::vector<uint8_t> header(wavBytes.begin(), wavBytes.begin() + 44);
  const auto ours = dir / "ours.ape", theirs = dir / "theirs.ape";
  std::string error;
  ASSERT_TRUE(RunJmac("c2", wav, theirs, &error)) << error;

  const WaveFormatEx cd = CdFormat();
  // Told the exact length, or more (the seek table then shrinks to the frames that came).
  for (int64_t maximum : {int64_t(pcm.size()), int64_t(pcm.size()) * 5}) {
    SCOPED_TRACE(maximum);
    auto compressor = CreateIAPECompress();
    ASSERT_EQ(compressor->Start(Name(ours).c_str(), &cd, maximum, 2000, header.data(), 44), kApeSuccess);
    ASSERT_EQ(compressor->AddData(pcm.data(), int64_t(pcm.size())), kApeSuccess);
    ASSERT_EQ(compressor->Finish(), kApeSuccess);
    EXPECT_TRUE(ReadFile(ours) == ReadFile(theirs));
  }

  // More frames than the maximum given at the start makes room for are refused, for good.
  auto small = CreateIAPECompress();
  ASSERT_EQ(small->Start(Name(dir / "small.ape").c_str(), &cd, 100 * 4, 2000), kApeSuccess);
  const Pcm twoFrames = Music(2 * 73728);
  EXPECT_EQ(small->AddData(twoFrames.data(), int64_t(twoFrames.size())), kApeErrorTooMuchData);
  EXPECT_EQ(small->AddData(twoFrames.data(), 4), kApeErrorTooMuchData);
  EXPECT_EQ(small->Finish(), kApeErrorTooMuchData);
}

TEST(ApeCompress, TerminatingDataFollowsTheFramesAndCountsInTheMd5) {
  fixtures::TempDir dir;
  const auto path = dir / "tail.ape";
  const WaveFormatEx cd = CdFormat();
  const Pcm pcm = Music(3000);
  const uint8_t tail[] = {'L', 'I', 'S', 'T', 2, 0, 0, 0, 'x', 'y'};
  auto compressor = CreateIAPECompress();
  ASSERT_EQ(compressor->Start(Name(path).c_str(), &cd), kApeSuccess);
  ASSERT_EQ(compressor->AddData(pcm.data(), int64_t(pcm.size())), kApeSuccess);
  EXPECT_EQ(compressor->Finish(tail, 10, 11), kApeErrorInvalidFunctionParameter);
  ASSERT_EQ(compressor->Finish(tail, 10, 10), kApeSuccess);
  const ApeFile f = ParseApe(path);
  ASSERT_TRUE(f.valid);
  EXPECT_EQ(f.terminatingBytes, 10u);
  EXPECT_EQ(std::vector<uint8_t>(tail, tail + 10), f.terminatingData);
  std::string error;
  EXPECT_TRUE(RunJmac("v", path, {}, &error)) << error;
  // A damaged byte of the terminating data no longer matches the MD5.
  std::vector<uint8_t> bytes = ReadFile(path);
  bytes.back() ^= 1;
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  EXPECT_FALSE(RunJmac("v", path, {}, &error));
}

TEST(ApeCompress, MonoFilesDecode) {
  fixtures::TempDir dir;
  Pcm stereo = Music(2 * 73728 + 300);
  Pcm mono(stereo.size() / 2);
  for (size_t i = 0; i < mono.size() / 2; ++i) std::memcpy(&mono[2 * i], &stereo[4 * i], 2);
  Pcm silentMono(4000, 0);
  for (int level : {1000, 4000}) {
    SCOPED_TRACE(level);
    for (const Pcm* pcm : {&mono, &silentMono}) {
      const auto path = dir / "mono.ape";
      ASSERT_EQ(EncodeOurs(path, *pcm, level, 2352, 1), "");
      EXPECT_EQ(ParseApe(path).channels, 1);
      Pcm decoded;
      std::string error;
      const auto raw = dir / "mono.raw";
      ASSERT_EQ(fixtures::RunCommand("ffmpeg -nostdin -v error -err_detect crccheck -i " +
                                     fixtures::ShellQuote(path.string()) + " -f s16le -y " +
                                     fixtures::ShellQuote(raw.string()))
                    .status,
                0);
      EXPECT_TRUE(ReadFile(raw) == *pcm);
      if (std::filesystem::file_size(path) >= 128) {
        EXPECT_TRUE(DecodeWithJmac(path, dir / "mono.wav", &decoded, &error)) << error;
        EXPECT_TRUE(decoded == *pcm);
      }
    }
  }
}

}  // namespace
}  // namespace korvi::apetest
