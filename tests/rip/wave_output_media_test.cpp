// WAV files as the writer leaves them: the header byte by byte, and what ffprobe makes of them.

#include "rip/wave_output_media.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "fixtures/temp_dir.h"

namespace korvi {
namespace {

std::vector<uint8_t> ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

uint32_t U32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24;
}
uint16_t U16(const std::vector<uint8_t>& b, size_t at) { return uint16_t(b[at] | b[at + 1] << 8); }

std::vector<uint8_t> Sector(uint8_t seed) {
  std::vector<uint8_t> sector(2352);
  for (size_t i = 0; i < sector.size(); ++i) sector[i] = uint8_t(seed + i * 7);
  return sector;
}

TEST(WaveOutputMedia, OneSectorFileHasTheCanonicalHeader) {
  fixtures::TempDir dir;
  const auto path = dir / "one.wav";
  const auto sector = Sector(3);
  {
    CWaveOutputMedia writer(path.string());
    writer.Open();
    EXPECT_EQ(writer.Write(sector.data(), 2352), 2352 + 44);
    writer.Close();
    EXPECT_FALSE(writer.Failed());
  }
  const auto bytes = ReadAll(path);
  ASSERT_EQ(bytes.size(), 2396u);
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "RIFF");
  EXPECT_EQ(U32(bytes, 4), 2388u);
  EXPECT_EQ(std::string(bytes.begin() + 8, bytes.begin() + 16), "WAVEfmt ");
  EXPECT_EQ(U32(bytes, 16), 16u);
  EXPECT_EQ(U16(bytes, 20), 1);
  EXPECT_EQ(U16(bytes, 22), 2);
  EXPECT_EQ(U32(bytes, 24), 44100u);
  EXPECT_EQ(U32(bytes, 28), 176400u);
  EXPECT_EQ(U16(bytes, 32), 4);
  EXPECT_EQ(U16(bytes, 34), 16);
  EXPECT_EQ(std::string(bytes.begin() + 36, bytes.begin() + 40), "data");
  EXPECT_EQ(U32(bytes, 40), 2352u);
  EXPECT_TRUE(std::equal(sector.begin(), sector.end(), bytes.begin() + 44));
}

TEST(WaveOutputMedia, UnclosedFileKeepsTheProvisionalHeader) {
  fixtures::TempDir dir;
  const auto path = dir / "crash.wav";
  {
    CWaveOutputMedia writer(path.string());
    writer.Open();
    EXPECT_EQ(writer.Write(nullptr, 0), 44);  // the header even for an empty first write
    const auto sector = Sector(1);
    writer.Write(sector.data(), 2352);
  }  // destroyed without Close, as when the process ends during a track
  const auto bytes = ReadAll(path);
  ASSERT_EQ(bytes.size(), 44u + 2352u);
  EXPECT_EQ(U32(bytes, 4), 0u);
  EXPECT_EQ(U32(bytes, 40), 0xFFFFFFDCu);
}

// The write calls this process has made so far (Linux's count).
long WriteCalls() {
  std::ifstream io("/proc/self/io");
  for (std::string key; io >> key;) {
    long value = 0;
    io >> value;
    if (key == "syscw:") return value;
  }
  return -1;
}

TEST(WaveOutputMedia, TheDiskGetsLargeBlocksAndTheSameBytes) {
  fixtures::TempDir dir;
  const auto path = dir / "long.wav";
  constexpr int kSectors = 1000;  // 2.3 MB
  std::vector<uint8_t> expected;
  const long before = WriteCalls();
  ASSERT_GE(before, 0) << "no /proc/self/io";
  {
    CWaveOutputMedia writer(path.string());
    writer.Open();
    for (int i = 0; i < kSectors; ++i) {
      const auto sector = Sector(uint8_t(i));
      writer.Write(sector.data(), 2352);
      expected.insert(expected.end(), sector.begin(), sector.end());
    }
    writer.Close();
    EXPECT_FALSE(writer.Failed());
  }
  // About one write per 256 KiB, not one per sector.
  EXPECT_LT(WriteCalls() - before, 20);
  const auto bytes = ReadAll(path);
  ASSERT_EQ(bytes.size(), 44u + 2352u * kSectors);
  EXPECT_EQ(U32(bytes, 40), 2352u * kSectors);
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), bytes.begin() + 44));
}

TEST(WaveOutputMedia, OpenTruncatesAnExistingFile) {
  fixtures::TempDir dir;
  const auto path = dir / "old.wav";
  std::ofstream(path, std::ios::binary) << std::string(100000, 'x');
  CWaveOutputMedia writer(path.string());
  writer.Open();
  const auto sector = Sector(9);
  writer.Write(sector.data(), 2352);
  writer.Write(sector.data(), 2352);
  writer.Close();
  EXPECT_EQ(std::filesystem::file_size(path), 44u + 2 * 2352u);
}

TEST(WaveOutputMedia, ClosedWithoutSectorsIsAValidEmptyFile) {
  fixtures::TempDir dir;
  const auto path = dir / "empty.wav";
  CWaveOutputMedia writer(path.string());
  writer.Open();
  writer.Close();
  const auto bytes = ReadAll(path);
  ASSERT_EQ(bytes.size(), 44u);
  EXPECT_EQ(U32(bytes, 4), 36u);
  EXPECT_EQ(U32(bytes, 40), 0u);
  EXPECT_EQ(U16(bytes, 22), 2);
}

TEST(WaveOutputMedia, FfprobeReadsTheFile) {
  fixtures::TempDir dir;
  const auto path = dir / "probe.wav";
  CWaveOutputMedia writer(path.string());
  writer.Open();
  for (int i = 0; i < 75; ++i) writer.Write(Sector(uint8_t(i)).data(), 2352);
  writer.Close();
  const auto probe = fixtures::RunCommand(
      "ffprobe -v error -show_entries stream=codec_name,sample_rate,channels,duration_ts -of csv=p=0 " +
      fixtures::ShellQuote(path.string()));
  ASSERT_EQ(probe.status, 0);
  EXPECT_EQ(probe.out, "pcm_s16le,44100,2,44100\n");
}

TEST(WaveOutputMedia, FailuresKeepTheirCause) {
  fixtures::TempDir dir;
  CWaveOutputMedia writer((dir / "no-such-folder" / "x.wav").string());
  writer.Open();
  const auto sector = Sector(0);
  writer.Write(sector.data(), 2352);
  writer.Close();
  EXPECT_TRUE(writer.Failed());
  EXPECT_NE(writer.FailureText().find("No such file or directory"), std::string::npos)
      << writer.FailureText();

  // A full disk: /dev/full accepts the open and refuses every write.
  CWaveOutputMedia full("/dev/full");
  full.Open();
  full.Write(sector.data(), 2352);
  full.Close();
  EXPECT_TRUE(full.Failed());
  EXPECT_NE(full.FailureText().find("No space left on device"), std::string::npos) << full.FailureText();
}

}  // namespace
}  // namespace korvi
