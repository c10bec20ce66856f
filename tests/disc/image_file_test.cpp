// A cue sheet's data files read as CD audio: a bin written by the image writer, converted by sox,
// dd and flac, must read back as the bin's own bytes at any offset; other layouts, garbage headers
// and damaged files are refused or fail the read with their cause.

#include "disc/image_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "fixtures/child_process.h"
#include "fixtures/disc_image_writer.h"
#include "fixtures/temp_dir.h"
#include "fixtures/wave_bytes.h"

namespace korvi {
namespace {

using ::testing::AnyOf;
using ::testing::HasSubstr;

constexpr int64_t kSector = 2352;
constexpr char kRawInput[] = "sox -t raw -r 44100 -e signed -b 16 -c 2 -L ";

using fixtures::Chunk;
using fixtures::ExtensibleFormat;
using fixtures::Le32;
using fixtures::PcmFormat;
using fixtures::Wave;

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}
void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

class ImageFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fixtures::WrittenImage image;
    std::string error;
    ASSERT_TRUE(
        fixtures::WriteCueBinImage(m_dir / "disc.cue", fixtures::AllAudioLayout(2, 40), &image, &error))
        << error;
    m_binPath = image.bin;
    m_bin = fixtures::ReadBinSectors(image.bin, 0, image.leadOut - 1);
    ASSERT_EQ(m_bin.size(), size_t(80 * kSector));
  }

  std::filesystem::path Convert(const std::string& command, const std::string& output) {
    const std::filesystem::path path = m_dir / output;
    const std::string separator = command.ends_with('=') ? "" : " ";
    const auto result =
        fixtures::RunCommand(command + separator + fixtures::ShellQuote(path.string()) + " 2>&1");
    EXPECT_EQ(result.status, 0) << command << ": " << result.out;
    return path;
  }
  std::string Bin() const { return fixtures::ShellQuote(m_binPath.string()); }
  std::filesystem::path Flac(const std::string& input, const std::string& output,
                             const std::string& options = "") {
    return Convert("flac --silent -f " + options + " " + input + " -o", output);
  }

  std::unique_ptr<ImageDataFile> Open(const std::filesystem::path& path, ImageFileType type) {
    std::string error;
    auto file = OpenImageDataFile(path, type, &error);
    EXPECT_TRUE(file) << error;
    return file;
  }
  std::string Refusal(const std::filesystem::path& path, ImageFileType type) {
    std::string error;
    EXPECT_FALSE(OpenImageDataFile(path, type, &error)) << path << " was not refused";
    return error;
  }

  bool ReadsAsBin(ImageDataFile& file, int64_t offset, size_t length, std::string* error) {
    std::vector<uint8_t> got(length);
    if (!file.Read(offset, got.data(), length, error)) return false;
    const bool same = std::equal(got.begin(), got.end(), m_bin.begin() + offset);
    if (!same) *error = "other bytes than the bin's";
    return same;
  }

  // Whole sectors in order (as the cue reader reads), then spans across the 16384-byte blocks of
  // flac's default block size, at odd offsets and up to the last byte, then random spans in a
  // random order; and reads past the end refused.
  void ExpectReadsAsBin(ImageDataFile& file, const std::string& name) {
    const int64_t size = int64_t(m_bin.size());
    ASSERT_EQ(file.Size(), size);
    std::string error;
    for (int64_t s = 0; s < size / kSector; ++s)
      ASSERT_TRUE(ReadsAsBin(file, s * kSector, kSector, &error)) << s << error;
    std::vector<std::pair<int64_t, size_t>> spans = {{0, 1},
                                                     {16384 - 6, 12},
                                                     {3 * 16384 - 1, 16386},
                                                     {size - 1, 1},
                                                     {size - kSector - 3, kSector + 3},
                                                     {size - 4, 4},
                                                     {7, size_t(size - 7)}};
    std::mt19937 random(7);
    for (int i = 0; i < 150; ++i) {
      const int64_t offset = int64_t(random() % uint64_t(size));
      spans.emplace_back(offset, 1 + random() % std::min<uint64_t>(40000, uint64_t(size - offset)));
    }
    for (const auto& [offset, length] : spans)
      ASSERT_TRUE(ReadsAsBin(file, offset, length, &error)) << offset << "+" << length << ": " << error;

    uint8_t past[8];
    EXPECT_FALSE(file.Read(size - 2, past, 4, &error));
    EXPECT_THAT(error, HasSubstr(name));
    EXPECT_THAT(error, HasSubstr("ends at byte " + std::to_string(size) + " (sector 80)"));
    EXPECT_FALSE(file.Read(size, past, 1, &error));
    EXPECT_FALSE(file.Read(-4, past, 4, &error));
    ASSERT_TRUE(ReadsAsBin(file, 0, kSector, &error)) << error;
  }

  fixtures::TempDir m_dir;
  std::filesystem::path m_binPath;
  std::vector<uint8_t> m_bin;
};

TEST_F(ImageFileTest, BinEitherWayRoundReadsAsTheBin) {
  auto bin = Open(m_binPath, ImageFileType::kBinary);
  ASSERT_TRUE(bin);
  ExpectReadsAsBin(*bin, "disc.bin");

  const auto swapped = Convert("dd status=none conv=swab if=" + Bin() + " of=", "big.bin");
  auto motorola = Open(swapped, ImageFileType::kMotorola);
  ASSERT_TRUE(motorola);
  ExpectReadsAsBin(*motorola, "big.bin");

  // A file cut short after opening fails the read rather than returning what is left.
  std::filesystem::resize_file(m_binPath, m_bin.size() - 100);
  std::vector<uint8_t> sector(kSector);
  std::string error;
  EXPECT_FALSE(bin->Read(79 * kSector, sector.data(), kSector, &error));
  EXPECT_THAT(error, HasSubstr("disc.bin: the audio now ends at byte " + std::to_string(m_bin.size() - 100)));
}

TEST_F(ImageFileTest, WaveReadsAsTheBinWhateverItsChunks) {
  auto sox = Open(Convert(kRawInput + Bin(), "sox.wav"), ImageFileType::kWave);
  ASSERT_TRUE(sox);
  ExpectReadsAsBin(*sox, "sox.wav");

  // Extensible format after an odd-sized chunk and its pad byte; a streamed data size.
  const std::string audio(m_bin.begin(), m_bin.end());
  WriteFile(m_dir / "streamed.wav", Wave(Chunk("junk", "odd") + Chunk("fmt ", ExtensibleFormat()) +
                                         Chunk("data", 0xFFFFFFFF, audio)));
  auto streamed = Open(m_dir / "streamed.wav", ImageFileType::kWave);
  ASSERT_TRUE(streamed);
  ExpectReadsAsBin(*streamed, "streamed.wav");

  // A data chunk followed by other chunks holds only its own bytes.
  WriteFile(m_dir / "tagged.wav",
            Wave(Chunk("fmt ", PcmFormat()) + Chunk("data", audio) + Chunk("LIST", "INFOxyz")));
  auto tagged = Open(m_dir / "tagged.wav", ImageFileType::kWave);
  ASSERT_TRUE(tagged);
  ExpectReadsAsBin(*tagged, "tagged.wav");
}

TEST_F(ImageFileTest, WaveOfAnotherLayoutIsRefusedSayingWhatItIs) {
  EXPECT_EQ(Refusal(Convert(kRawInput + Bin() + " -r 48000", "x.wav"), ImageFileType::kWave),
            (m_dir / "x.wav").string() +
                ": 48000 Hz, 2 channels, 16 bits: only 44100 Hz 16-bit stereo PCM can be read as CD audio");
  EXPECT_THAT(Refusal(Convert(kRawInput + Bin() + " -c 1", "mono.wav"), ImageFileType::kWave),
              HasSubstr("mono.wav: 44100 Hz, 1 channel, 16 bits: only"));
  EXPECT_THAT(Refusal(Convert(kRawInput + Bin() + " -b 24", "24.wav"), ImageFileType::kWave),
              HasSubstr("24.wav: 44100 Hz, 2 channels, 24 bits: only"));
  EXPECT_THAT(
      Refusal(Convert(kRawInput + Bin() + " -e floating-point -b 32", "float.wav"), ImageFileType::kWave),
      HasSubstr("float.wav: WAVE format 0x0003, not integer PCM: only"));
}

TEST_F(ImageFileTest, WaveWithGarbageChunkSizesIsRefusedOrReadWithinTheFile) {
  const std::string fmt = Chunk("fmt ", PcmFormat());
  const std::vector<std::pair<std::string, std::string>> refused = {
      {std::string("RIFF\x10\x00\x00\x00WA", 10), "10 bytes, too short for a WAVE file"},
      {Wave(""), "no fmt chunk"},
      {Wave("fmt " + Le32(0xFFFFFFF0) + PcmFormat()), "the fmt chunk runs past the end of the file"},
      {Wave(Chunk("fmt ", 2, "\x01")), "the fmt chunk has 2 bytes, too few for a format"},
      {Wave(Chunk("fmt ", PcmFormat(0xFFFE))), "too few for WAVE_FORMAT_EXTENSIBLE"},
      {Wave(fmt + "junk" + Le32(0xFFFFFFFE) + "data" + Le32(16) + std::string(16, 'x')), "no data chunk"},
      {Wave(fmt + "data"), "no data chunk"},
      {Wave(Chunk("data", "abcd") + fmt), "the data chunk comes before any fmt chunk"},
      {"RIFX" + Le32(4) + "WAVE", "not a RIFF WAVE file"},
  };
  for (size_t i = 0; i < refused.size(); ++i) {
    const auto path = m_dir / ("bad" + std::to_string(i) + ".wav");
    WriteFile(path, refused[i].first);
    EXPECT_THAT(Refusal(path, ImageFileType::kWave), HasSubstr(refused[i].second)) << i;
  }

  // A data chunk that claims more than the file holds: the whole samples that are there.
  WriteFile(m_dir / "cut.wav", Wave(fmt + "data" + Le32(1000)) + "0123456789");
  auto cut = Open(m_dir / "cut.wav", ImageFileType::kWave);
  ASSERT_TRUE(cut);
  EXPECT_EQ(cut->Size(), 8);
  uint8_t bytes[8];
  std::string error;
  ASSERT_TRUE(cut->Read(0, bytes, 8, &error)) << error;
  EXPECT_EQ(std::string(bytes, bytes + 8), "01234567");
  EXPECT_FALSE(cut->Read(4, bytes, 8, &error));
  EXPECT_THAT(error, HasSubstr("cut.wav: cannot read 8 bytes at byte 4: the audio ends at byte 8"));
}

TEST_F(ImageFileTest, FlacReadsAsTheBinAcrossItsBlocks) {
  const auto wave = Convert(kRawInput + Bin(), "disc.wav");
  auto flac = Open(Flac(fixtures::ShellQuote(wave.string()), "disc.flac"), ImageFileType::kFlac);
  ASSERT_TRUE(flac);
  ExpectReadsAsBin(*flac, "disc.flac");

  auto small =
      Open(Flac(fixtures::ShellQuote(wave.string()), "small.flac", "--blocksize=576"), ImageFileType::kFlac);
  ASSERT_TRUE(small);
  ExpectReadsAsBin(*small, "small.flac");
}

TEST_F(ImageFileTest, FlacOfAnotherLayoutOrUnknownLengthIsRefused) {
  const std::string raw = "--force-raw-format --endian=little --sign=signed --channels=2 --bps=16 ";
  EXPECT_EQ(Refusal(Flac(Bin(), "x.flac", raw + "--sample-rate=48000"), ImageFileType::kFlac),
            (m_dir / "x.flac").string() +
                ": 48000 Hz, 2 channels, 16 bits: only 44100 Hz 16-bit stereo FLAC can be read as CD audio");
  const auto mono = Convert(kRawInput + Bin() + " -c 1", "mono.wav");
  EXPECT_THAT(Refusal(Flac(fixtures::ShellQuote(mono.string()), "mono.flac"), ImageFileType::kFlac),
              HasSubstr("mono.flac: 44100 Hz, 1 channel, 16 bits: only"));

  // STREAMINFO's 36-bit sample count, zeroed: bytes 13 (low half) to 17 of the block after "fLaC"
  // and the block's 4-byte header.
  std::string bytes = ReadFile(Flac(Bin(), "known.flac", raw + "--sample-rate=44100"));
  ASSERT_GT(bytes.size(), 26u);
  bytes[8 + 13] = char(bytes[8 + 13] & 0xF0);
  std::fill(bytes.begin() + 8 + 14, bytes.begin() + 8 + 18, '\0');
  WriteFile(m_dir / "unknown.flac", bytes);
  EXPECT_THAT(Refusal(m_dir / "unknown.flac", ImageFileType::kFlac),
              HasSubstr("unknown.flac: its header does not say how many samples"));

  EXPECT_THAT(Refusal(m_binPath, ImageFileType::kFlac), HasSubstr("disc.bin: not a FLAC file"));
  EXPECT_THAT(Refusal(m_dir / "none.flac", ImageFileType::kFlac),
              HasSubstr("cannot open " + (m_dir / "none.flac").string()));
}

TEST_F(ImageFileTest, DamagedOrCutFlacFailsThoseReadsWithTheirCause) {
  const std::string good =
      ReadFile(Flac(fixtures::ShellQuote(Convert(kRawInput + Bin(), "disc.wav").string()), "disc.flac"));
  std::string damaged = good;
  for (size_t i = 0; i < 8; ++i) damaged[damaged.size() / 2 + i] ^= char(0xA5);
  WriteFile(m_dir / "damaged.flac", damaged);
  auto flac = Open(m_dir / "damaged.flac", ImageFileType::kFlac);
  ASSERT_TRUE(flac);

  // Every read that succeeds, sequential or after a seek, gives the bin's bytes; the damaged
  // block's sectors fail, naming the file.
  std::vector<int64_t> sectors(80);
  for (int64_t s = 0; s < 80; ++s) sectors[size_t(s)] = s;
  std::vector<int64_t> shuffled = sectors;
  std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(3));
  for (const auto& order : {sectors, shuffled}) {
    int failed = 0;
    for (int64_t s : order) {
      std::string error;
      if (ReadsAsBin(*flac, s * kSector, kSector, &error)) continue;
      ++failed;
      EXPECT_THAT(error, HasSubstr("damaged.flac: samples ")) << s;
    }
    EXPECT_GT(failed, 0);
    // One damaged 4096-sample block, and libFLAC may lose the next with it: 22 sectors at most.
    EXPECT_LE(failed, 22);
  }

  // Cut: the STREAMINFO is whole but the stream stops early.
  WriteFile(m_dir / "cut.flac", good.substr(0, good.size() * 6 / 10));
  auto cut = Open(m_dir / "cut.flac", ImageFileType::kFlac);
  ASSERT_TRUE(cut);
  // Seeking into the missing part fails, or decoding forward runs into the end.
  const auto cutShort =
      AnyOf(HasSubstr("cut.flac: cannot seek to sample"), HasSubstr("cut.flac: the stream ends at sample"));
  std::string error;
  EXPECT_FALSE(ReadsAsBin(*cut, 79 * kSector, kSector, &error));
  EXPECT_THAT(error, cutShort);
  EXPECT_TRUE(ReadsAsBin(*cut, 0, kSector, &error)) << error;
  EXPECT_FALSE(ReadsAsBin(*cut, 60 * kSector, 20 * kSector, &error));
  EXPECT_THAT(error, cutShort);
  EXPECT_TRUE(ReadsAsBin(*cut, 10 * kSector, kSector, &error)) << error;
}

}  // namespace
}  // namespace korvi
