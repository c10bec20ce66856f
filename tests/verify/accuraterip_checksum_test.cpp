// The streaming checksums against accuraterip-checksum, an independent implementation, on the
// tracks of generated disc images, fed as the rip feeds them and in awkward chunk sizes.

#include "verify/accuraterip_checksum.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "disc/cdrom_toc.h"
#include "fixtures/disc_image_writer.h"
#include "fixtures/temp_dir.h"

namespace korvi {
namespace {

using fixtures::ImageLayout;
using fixtures::WrittenImage;

bool OracleInstalled() {
  return fixtures::RunCommand("command -v accuraterip-checksum >/dev/null").status == 0;
}

void PutLe(std::ofstream& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.put(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// CD audio as a WAV file, which is what the tool reads.
void WriteWav(const std::filesystem::path& path, const std::vector<uint8_t>& audio) {
  std::ofstream out(path, std::ios::binary);
  const uint32_t size = static_cast<uint32_t>(audio.size());
  out.write("RIFF", 4);
  PutLe(out, 36 + size, 4);
  out.write("WAVEfmt ", 8);
  PutLe(out, 16, 4);
  PutLe(out, 1, 2);          // PCM
  PutLe(out, 2, 2);          // channels
  PutLe(out, 44100, 4);      // sample rate
  PutLe(out, 44100 * 4, 4);  // bytes a second
  PutLe(out, 4, 2);          // bytes a sample frame
  PutLe(out, 16, 2);         // bits a sample
  out.write("data", 4);
  PutLe(out, size, 4);
  out.write(reinterpret_cast<const char*>(audio.data()), std::streamsize(audio.size()));
}

struct Checksums {
  uint32_t v1 = 0;
  uint32_t v2 = 0;
  bool operator==(const Checksums&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Checksums& sums) {
  char text[32];
  std::snprintf(text, sizeof text, "v1 %08X v2 %08X", sums.v1, sums.v2);
  return out << text;
}

Checksums Oracle(const std::filesystem::path& wav, int track, int tracks) {
  Checksums sums;
  for (int version : {1, 2}) {
    const fixtures::CommandResult result =
        fixtures::RunCommand("accuraterip-checksum --accuraterip-v" + std::to_string(version) + " " +
                             fixtures::ShellQuote(wav.string()) + " " + std::to_string(track) + " " +
                             std::to_string(tracks) + " 2>&1");
    EXPECT_EQ(result.status, 0) << result.out;
    (version == 1 ? sums.v1 : sums.v2) = static_cast<uint32_t>(std::stoul(result.out, nullptr, 16));
  }
  return sums;
}

// Feeds the audio in chunks whose sizes cycle through chunkSizes.
Checksums Streamed(const std::vector<uint8_t>& audio, bool first, bool last, std::vector<size_t> chunkSizes) {
  AccurateRipChecksum checksum(first, last);
  size_t at = 0;
  for (size_t i = 0; at < audio.size(); ++i) {
    const size_t size = std::min(chunkSizes[i % chunkSizes.size()], audio.size() - at);
    checksum.Feed(audio.data() + at, size);
    at += size;
  }
  return {checksum.V1(), checksum.V2()};
}

const std::vector<size_t> kRipChunks = {26 * kRawSectorBytes};
// Chunks that split samples and sectors, and one longer than the held-back end of a last track.
const std::vector<size_t> kOddChunks = {1, 3, 4097, 5 * kRawSectorBytes + 2, 7, 0, 13 * kRawSectorBytes + 1};

class ChecksumOracleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!OracleInstalled()) GTEST_SKIP() << "accuraterip-checksum (Debian package whipper) is not installed";
  }

  // Checks every track of the image, streamed both ways, against the tool.
  void ExpectTracksAgree(const ImageLayout& layout) {
    WrittenImage image;
    std::string error;
    ASSERT_TRUE(fixtures::WriteCueBinImage(m_dir / "disc.cue", layout, &image, &error)) << error;
    const int tracks = static_cast<int>(image.starts.size());
    for (int n = 1; n <= tracks; ++n) {
      SCOPED_TRACE("track " + std::to_string(n) + " of " + std::to_string(tracks));
      const int32_t end = n < tracks ? image.starts[n] : image.leadOut;
      const std::vector<uint8_t> audio = fixtures::ReadBinSectors(image.bin, image.starts[n - 1], end - 1);
      ASSERT_FALSE(audio.empty());
      const std::filesystem::path wav = m_dir / ("track" + std::to_string(n) + ".wav");
      WriteWav(wav, audio);
      const Checksums expected = Oracle(wav, n, tracks);
      // Else the audio would not tell v2's high halves from v1.
      EXPECT_NE(expected.v1, expected.v2);
      EXPECT_EQ(Streamed(audio, n == 1, n == tracks, kRipChunks), expected);
      EXPECT_EQ(Streamed(audio, n == 1, n == tracks, kOddChunks), expected);
    }
  }

  fixtures::TempDir m_dir;
};

TEST_F(ChecksumOracleTest, FirstMiddleAndLastTracksAgreeWithTheTool) {
  // Lengths that are no multiple of the rip's 26-sector chunks; the middle track is shorter than one.
  ImageLayout layout;
  layout.seed = 7;
  layout.tracks = {{false, 40, 0, {}}, {false, 23, 0, {}}, {false, 57, 0, {}}};
  ExpectTracksAgree(layout);
}

TEST_F(ChecksumOracleTest, TheTrackOfAOneTrackDiscIsFirstAndLast) {
  ImageLayout layout;
  layout.seed = 3;
  layout.tracks = {{false, 33, 0, {}}};
  ExpectTracksAgree(layout);
}

}  // namespace
}  // namespace korvi
