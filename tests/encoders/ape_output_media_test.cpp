// The APE writer as the rip job drives it, and APE rips of disc images from the command line.

#include "rip/ape_output_media.h"

#include <gtest/gtest.h>

#include <fstream>

#include "ape_test_support.h"
#include "fixtures/disc_image_writer.h"
#include "fixtures/temp_dir.h"
#include "rip/output_format.h"

namespace korvi::apetest {
namespace {

using fixtures::RunCommand;
using fixtures::ShellQuote;

// Writes the PCM a sector at a time, as the rip job does.
void RipInto(COutputMediaFile& writer, const Pcm& pcm) {
  writer.Open();
  for (size_t at = 0; at < pcm.size(); at += 2352) EXPECT_EQ(writer.Write(pcm.data() + at, 2352), 2352);
  writer.Close();
}

TEST(ApeOutputMedia, TracksBecomeFilesThatDecodeToTheirAudio) {
  fixtures::TempDir dir;
  const Pcm pcm = Music(588 * 200, 3);
  for (int level : {2000, 5000}) {
    SCOPED_TRACE(level);
    const auto path = dir / "track.ape";
    // The format table makes the writer, with the level of the settings.
    WriterOptions options;
    options.CompressionLevel = level;
    auto writer = MakeWriter(kFormatApe, path.string(), options, nullptr);
    RipInto(*writer, pcm);
    EXPECT_FALSE(writer->Failed()) << writer->FailureText();
    const ApeFile f = ParseApe(path);
    EXPECT_EQ(f.level, level);
    EXPECT_EQ(f.blocksPerFrame, level == 5000 ? 73728u * 16 : 73728u);
    Pcm decoded;
    std::string error;
    ASSERT_TRUE(DecodeWithFfmpeg(path, &decoded, &error)) << error;
    EXPECT_TRUE(decoded == pcm);
  }
}

TEST(ApeOutputMedia, AStoppedTrackIsAValidShorterFile) {
  fixtures::TempDir dir;
  const auto path = dir / "stopped.ape";
  const Pcm pcm = Music(588 * 150);
  CAPEOutputMedia writer(3000, path.string());
  writer.Open();
  for (size_t at = 0; at < pcm.size() / 3; at += 2352) writer.Write(pcm.data() + at, 2352);
  writer.Close();  // the job stops a third of the way through
  EXPECT_FALSE(writer.Failed());
  Pcm decoded;
  std::string error;
  ASSERT_TRUE(DecodeWithFfmpeg(path, &decoded, &error)) << error;
  EXPECT_TRUE(decoded == Pcm(pcm.begin(), pcm.begin() + long(pcm.size() / 3)));
  EXPECT_TRUE(RunJmac("v", path, {}, &error)) << error;
}

TEST(ApeOutputMedia, ARefusedLevelWritesNothingAndSaysWhy) {
  fixtures::TempDir dir;
  const auto path = dir / "refused.ape";
  CAPEOutputMedia writer(2500, path.string());
  writer.Open();
  const Pcm pcm = Music(588);
  EXPECT_EQ(writer.Write(pcm.data(), 2352), 0);
  writer.Close();
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_TRUE(writer.Failed());
  EXPECT_EQ(writer.FailureText(),
            "cannot start the APE compressor: compression level 2500 is not one of 1000, 2000, 3000, 4000 "
            "and 5000");
}

TEST(ApeOutputMedia, UnusedOrUnwritableWritersFailCleanly) {
  fixtures::TempDir dir;
  const Pcm pcm = Music(588);
  {
    // Used without Open, the writer has no compressor and makes no file.
    CAPEOutputMedia writer(2000, (dir / "never.ape").string());
    EXPECT_EQ(writer.Write(pcm.data(), 2352), 0);
    writer.Close();
    EXPECT_FALSE(std::filesystem::exists(dir / "never.ape"));
  }
  CAPEOutputMedia writer(2000, (dir / "missing" / "x.ape").string());
  writer.Open();
  EXPECT_EQ(writer.Write(pcm.data(), 2352), 0);
  writer.Close();
  EXPECT_EQ(writer.FailureText(),
            "cannot start the APE compressor: cannot create the file: No such file or directory");
  // The compressor creates the file itself: the base stream never opens it.
  CAPEOutputMedia badName(2000, std::string("bad\xff.ape"));
  badName.Open();
  EXPECT_EQ(badName.FailureText(), "the file name is not valid UTF-8");
}

class ApeRipFromCli : public testing::Test {
 protected:
  void SetUp() override {
    fixtures::ImageLayout layout;
    layout.tracks = {{false, 1, 0, {}}, {false, 260, 150, {}}};
    ASSERT_TRUE(fixtures::WriteCueBinImage(m_dir / "rip.cue", layout, &m_image, nullptr));
    m_out = m_dir / "out";
    std::filesystem::create_directory(m_out);
    m_env = "HOME=" + ShellQuote(m_dir.path().string()) +
            " XDG_CONFIG_HOME=" + ShellQuote((m_dir / "config").string()) +
            " XDG_DATA_HOME=" + ShellQuote((m_dir / "data").string()) + " ";
  }
  fixtures::CommandResult Rip(const std::string& args) {
    return RunCommand(m_env + ShellQuote(KORVI_CLI_PATH) + " rip " + ShellQuote(m_image.cue.string()) +
                      " --format ape --on-exists overwrite --no-verify --no-log --no-cue --out " +
                      ShellQuote(m_out.string()) + " " + args);
  }
  Pcm TrackAudio(int track) {
    const std::vector<uint8_t> bin = ReadFile(m_image.bin);
    const int32_t begin = m_image.starts[size_t(track - 1)];
    const int32_t end =
        size_t(track) < m_image.starts.size() ? m_image.starts[size_t(track)] : m_image.leadOut;
    return Pcm(bin.begin() + long(begin) * 2352, bin.begin() + long(end) * 2352);
  }

  fixtures::TempDir m_dir;
  fixtures::WrittenImage m_image;
  std::filesystem::path m_out;
  std::string m_env;
};

TEST_F(ApeRipFromCli, EveryLevelRipsTheDiscsAudio) {
  for (int level : {1000, 2000, 3000, 4000, 5000}) {
    SCOPED_TRACE(level);
    const auto result = Rip("--level " + std::to_string(level));
    ASSERT_EQ(result.status, 0);
    EXPECT_EQ(result.out, (m_out / "Track 1.ape").string() + "\n" + (m_out / "Track 2.ape").string() + "\n");
    for (int track : {1, 2}) {
      const auto path = m_out / ("Track " + std::to_string(track) + ".ape");
      EXPECT_EQ(ParseApe(path).level, level);
      Pcm decoded;
      std::string error;
      ASSERT_TRUE(DecodeWithFfmpeg(path, &decoded, &error)) << error;
      EXPECT_TRUE(decoded == TrackAudio(track)) << "track " << track;
    }
  }
}

// The command line takes only the levels the compressor knows (exit 2); a stored setting is taken
// as it is, and the compressor's refusal is then reported for each file.
TEST_F(ApeRipFromCli, ARefusedLevelIsReportedForEachFile) {
  EXPECT_EQ(Rip("--level 4500 2>/dev/null").status, 2);
  std::filesystem::create_directories(m_dir / "config" / "korvi-cd-ripper");
  std::ofstream(m_dir / "config" / "korvi-cd-ripper" / "registry.reg")
      << "Windows Registry Editor Version 5.00\n\n"
      << "[HKEY_CURRENT_USER\\Software\\Tessaline Technology\\Korvi CD Ripper\\Options]\n"
      << "\"DefaultFolder\"=\"" << m_out.string() << "\"\n"
      << "\"DefaultLibFolder\"=\"" << (m_dir / "library").string() << "\"\n"
      << "\"CompressionLevel\"=dword:00001194\n";
  const auto result = Rip("2>&1");
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.out.find((m_out / "Track 1.ape").string() +
                            ": cannot start the APE compressor: compression level 4500 is not one of"),
            std::string::npos)
      << result.out;
  EXPECT_NE(result.out.find("Track 2.ape: cannot start"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(m_out / "Track 1.ape"));
}

}  // namespace
}  // namespace korvi::apetest
