// korvi-cli as a script sees it: its output, its messages and its exit status.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <sstream>

#include "common/version.h"
#include "fixtures/disc_image_writer.h"
#include "fixtures/oracles.h"
#include "fixtures/temp_dir.h"

namespace korvi {
namespace {

using fixtures::RunCommand;
using fixtures::ShellQuote;

std::string Cli(const std::string& args) { return ShellQuote(KORVI_CLI_PATH) + " " + args; }

std::vector<std::vector<std::string>> TabRows(const std::string& out) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> fields;
    std::istringstream fieldsIn(line);
    for (std::string field; std::getline(fieldsIn, field, '\t');) fields.push_back(field);
    rows.push_back(fields);
  }
  return rows;
}

TEST(KorviCliToc, PrintsTheRowsAndDiscIdThatTheOraclesConfirm) {
  fixtures::TempDir dir;
  fixtures::ImageLayout layout;
  layout.tracks = {
      {false, 3000, 20, {}}, {false, 4567, 150, {}}, {false, 1500, 150, {}}, {true, 900, 150, {}}};
  fixtures::WrittenImage image;
  ASSERT_TRUE(fixtures::WriteCueBinImage(dir / "cli.cue", layout, &image, nullptr));

  const auto result = RunCommand(Cli("toc " + ShellQuote(image.cue.string())));
  ASSERT_EQ(result.status, 0);
  const auto rows = TabRows(result.out);
  const auto oracle = fixtures::CdInfoTracks(image.cue);
  ASSERT_EQ(oracle.size(), 5u);
  ASSERT_EQ(rows.size(), 4u);  // three audio tracks, then the disc id
  for (int r = 0; r < 3; ++r) {
    ASSERT_EQ(rows[r].size(), 4u) << result.out;
    EXPECT_EQ(rows[r][0], "Track " + std::to_string(r + 1));
    EXPECT_EQ(rows[r][2], std::to_string(oracle[r].lsn));
    // The last audio track ends where the data track's pregap (150 sectors) begins.
    EXPECT_EQ(rows[r][3], std::to_string(oracle[r + 1].lsn - (r == 2 ? 150 : 0) - 1));
  }
  EXPECT_EQ(rows[1][1], "0:1:2");  // (4567 + 150 − 1) / 75 = 62 s
  ASSERT_EQ(rows[3].size(), 1u);
  EXPECT_EQ(rows[3][0], "discid " + fixtures::LibDiscIdFreedbId(oracle));
}

TEST(KorviCliToc, UnreadableDrivesAndUsageErrors) {
  fixtures::TempDir dir;
  auto missing = RunCommand(Cli("toc " + ShellQuote((dir / "missing.cue").string()) + " 2>&1"));
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.out.find("korvi-cli:"), std::string::npos) << missing.out;
  EXPECT_NE(missing.out.find("missing.cue"), std::string::npos) << missing.out;

  std::ofstream(dir / "junk.cue") << "this is not a cue sheet\n";
  auto junk = RunCommand(Cli("toc " + ShellQuote((dir / "junk.cue").string()) + " 2>&1"));
  EXPECT_EQ(junk.status, 1);
  EXPECT_NE(junk.out.find("korvi-cli:"), std::string::npos) << junk.out;

  EXPECT_EQ(RunCommand(Cli("2>/dev/null")).status, 2);
  EXPECT_EQ(RunCommand(Cli("toc 2>/dev/null")).status, 2);
  EXPECT_EQ(RunCommand(Cli("toc a b 2>/dev/null")).status, 2);
  EXPECT_EQ(RunCommand(Cli("frobnicate 2>/dev/null")).status, 2);
  EXPECT_EQ(RunCommand(Cli("drives extra 2>/dev/null")).status, 2);
  auto help = RunCommand(Cli("--help"));
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("toc DRIVE"), std::string::npos);
}

// --help names every command and option the tool takes; each command's --help (or -h, wherever it
// stands) prints that command's usage, the same one a usage error ends with; --version the version.
TEST(KorviCli, HelpUsageAndVersionComeFromOneDescription) {
  const auto help = RunCommand(Cli("--help 2>&1"));
  ASSERT_EQ(help.status, 0);
  for (const char* option : {"--require-accurate", "--no-verify", "--no-log", "--no-cue", "--pick", "--no-save",
                             "--cdtext", "--version", "--opus-bitrate"})
    EXPECT_NE(help.out.find(option), std::string::npos) << option;
  const auto ripHelp = RunCommand(Cli("rip --help 2>&1"));
  EXPECT_EQ(ripHelp.status, 0) << ripHelp.out;
  const std::string usage = ripHelp.out.substr(0, ripHelp.out.find("\n\n"));
  EXPECT_EQ(usage.rfind("usage: korvi-cli rip DRIVE --format wav|mp3|ape|flac|opus [--out DIR]", 0), 0u) << usage;
  EXPECT_NE(usage.find("[--pick N]"), std::string::npos) << usage;
  EXPECT_NE(ripHelp.out.find("--no-cue"), std::string::npos);
  const auto afterError = RunCommand(Cli("rip x --format ogg 2>&1"));
  EXPECT_EQ(afterError.status, 2);
  EXPECT_EQ(afterError.out, "korvi-cli: --format takes wav, mp3, ape, flac or opus\n" + usage + "\n");
  for (const char* command : {"drives", "toc", "play", "xmcd", "lookup", "verify"}) {
    for (const char* flag : {"--help", "-h"}) {
      const auto shown = RunCommand(Cli(std::string(command) + " x " + flag + " 2>&1"));
      EXPECT_EQ(shown.status, 0) << command << flag;
      EXPECT_EQ(shown.out.rfind("usage: korvi-cli " + std::string(command), 0), 0u) << shown.out;
    }
  }
  const auto lookupError = RunCommand(Cli("lookup 2>&1"));
  EXPECT_EQ(lookupError.status, 2);
  const std::string lookupHelp = RunCommand(Cli("lookup -h")).out;
  EXPECT_EQ(lookupError.out, "korvi-cli: " + lookupHelp.substr(0, lookupHelp.find('\n') + 1));
  const auto version = RunCommand(Cli("--version"));
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "korvi-cli " + std::string(ProgramVersion()) + "\n");
}

TEST(KorviCliDrives, ListsTheImagesAfterTheDrives) {
  const auto without = RunCommand("env -u KORVI_CD_IMAGES " + Cli("drives"));
  ASSERT_EQ(without.status, 0);
  const auto with = RunCommand("KORVI_CD_IMAGES=/x/one.cue:/x/two.cue " + Cli("drives"));
  ASSERT_EQ(with.status, 0);
  EXPECT_EQ(with.out, without.out + "/x/one.cue\n/x/two.cue\n");
}

}  // namespace
}  // namespace korvi

namespace korvi {
namespace {

// A disc image of its own, ripped by korvi-cli into folders beside it with the user's folders there.
class ImageRips {
 public:
  explicit ImageRips(std::vector<fixtures::ImageTrack> tracks) {
    fixtures::ImageLayout layout;
    layout.tracks = std::move(tracks);
    m_ready = fixtures::WriteCueBinImage(m_dir / "disc.cue", layout, &m_image, nullptr);
  }
  bool Ready() const { return m_ready; }
  const fixtures::WrittenImage& Image() const { return m_image; }
  // The folder that the rip wrote into; a failed rip fails the test.
  std::filesystem::path Rip(const std::string& format, const std::string& folder, const std::string& more) {
    const std::filesystem::path out = m_dir / folder;
    std::filesystem::create_directory(out);
    const auto result = RunCommand("HOME=" + ShellQuote(m_dir.path().string()) +
                                   " XDG_CONFIG_HOME=" + ShellQuote((m_dir / "config").string()) +
                                   " XDG_DATA_HOME=" + ShellQuote((m_dir / "data").string()) + " " +
                                   Cli("rip " + ShellQuote(m_image.cue.string()) +
                                       " --no-verify --no-log --no-cue --format " + format + " --out " +
                                       ShellQuote(out.string()) + more + " 2>&1"));
    EXPECT_EQ(result.status, 0) << result.out;
    return out;
  }

 private:
  fixtures::TempDir m_dir;
  fixtures::WrittenImage m_image;
  bool m_ready = false;
};

class KorviCliRip : public ::testing::Test {
 protected:
  void SetUp() override {
    fixtures::ImageLayout layout;
    layout.tracks = {{false, 300, 0, {}}, {false, 220, 150, {}}, {false, 180, 20, {}}};
    ASSERT_TRUE(fixtures::WriteCueBinImage(m_dir / "rip.cue", layout, &m_image, nullptr));
    m_out = m_dir / "out";
    std::filesystem::create_directory(m_out);
    // The tool reads the user's settings; keep it away from the real ones.
    m_env = "HOME=" + ShellQuote(m_dir.path().string()) +
            " XDG_CONFIG_HOME=" + ShellQuote((m_dir / "config").string()) +
            " XDG_DATA_HOME=" + ShellQuote((m_dir / "data").string()) + " ";
  }
  fixtures::CommandResult Rip(const std::string& args) {
    // The files alone: no database to ask, no log or cue sheet among them.
    return RunCommand(
        m_env + Cli("rip " + ShellQuote(m_image.cue.string()) + " --no-verify --no-log --no-cue " + args));
  }

  fixtures::TempDir m_dir;
  fixtures::WrittenImage m_image;
  std::filesystem::path m_out;
  std::string m_env;
};

TEST_F(KorviCliRip, WavFilesDecodeToTheDiscsAudio) {
  const auto result = Rip("--format wav --out " + ShellQuote(m_out.string()) + " --tracks 2-3");
  ASSERT_EQ(result.status, 0);
  EXPECT_EQ(result.out, (m_out / "Track 2.wav").string() + "\n" + (m_out / "Track 3.wav").string() + "\n");
  // ffmpeg's decoding of the file equals the bin's bytes of the track.
  const auto pcm = m_dir / "track2.raw";
  ASSERT_EQ(RunCommand("ffmpeg -v error -y -i " + ShellQuote((m_out / "Track 2.wav").string()) +
                       " -f s16le -acodec pcm_s16le " + ShellQuote(pcm.string()))
                .status,
            0);
  std::ifstream decoded(pcm, std::ios::binary), bin(m_image.bin, std::ios::binary);
  const std::string audio{std::istreambuf_iterator<char>(decoded), std::istreambuf_iterator<char>()};
  const int32_t begin = m_image.starts[1], end = m_image.starts[2] - 1;
  std::string expected(size_t(end - begin + 1) * 2352, '\0');
  bin.seekg(std::streamoff(begin) * 2352);
  bin.read(expected.data(), std::streamsize(expected.size()));
  EXPECT_EQ(audio.size(), expected.size());
  EXPECT_TRUE(audio == expected);
}

TEST_F(KorviCliRip, ExistingFilesAndFailures) {
  ASSERT_EQ(Rip("--format wav --out " + ShellQuote(m_out.string()) + " --tracks 1").status, 0);
  const auto size = std::filesystem::file_size(m_out / "Track 1.wav");
  std::filesystem::resize_file(m_out / "Track 1.wav", 10);
  // skip keeps the file; no answer on standard input keeps it too
  EXPECT_EQ(Rip("--format wav --out " + ShellQuote(m_out.string()) + " --tracks 1 --on-exists skip").status,
            0);
  EXPECT_EQ(Rip("--format wav --out " + ShellQuote(m_out.string()) +
                " --tracks 1 --on-exists ask </dev/null 2>/dev/null")
                .status,
            0);
  EXPECT_EQ(std::filesystem::file_size(m_out / "Track 1.wav"), 10u);
  EXPECT_EQ(
      Rip("--format wav --out " + ShellQuote(m_out.string()) + " --tracks 1 --on-exists overwrite").status,
      0);
  EXPECT_EQ(std::filesystem::file_size(m_out / "Track 1.wav"), size);
  auto answered = RunCommand("echo y | " + m_env +
                             Cli("rip " + ShellQuote(m_image.cue.string()) + " --format wav --out " +
                                 ShellQuote(m_out.string()) + " --tracks 1 2>&1"));
  EXPECT_NE(answered.out.find("already exists, overwrite?"), std::string::npos);

  const auto failed =
      Rip("--format wav --out " + ShellQuote((m_dir / "missing").string()) + " --tracks 1,3 2>&1");
  EXPECT_EQ(failed.status, 1);
  EXPECT_NE(failed.out.find("Track 1.wav: cannot create the file: No such file or directory"),
            std::string::npos)
      << failed.out;
  EXPECT_NE(failed.out.find("Track 3.wav"), std::string::npos);
}

// FLAC files as the reference tools see them: `flac -t` finds no fault, the audio is the disc's
// bytes, the header has the MD5 sum of the audio and a seek table; a one-sector track too. The
// level reaches the encoder.
TEST(KorviCliFlac, FilesPassTheReferenceTestAndHoldTheDiscsAudio) {
  // 1900 sectors: more than 25 s, so three seek points.
  ImageRips disc({{false, 1900, 0, {}}, {false, 1, 0, {}}, {false, 160, 0, {}}});
  ASSERT_TRUE(disc.Ready());
  const fixtures::WrittenImage& image = disc.Image();
  const auto rip = [&](const std::string& name, const std::string& more) {
    return disc.Rip("flac", name, more);
  };
  const std::filesystem::path out = rip("default", "");
  std::ifstream bin(image.bin, std::ios::binary);
  for (int track = 1; track <= 3; ++track) {
    SCOPED_TRACE("track " + std::to_string(track));
    const std::string file = ShellQuote((out / ("Track " + std::to_string(track) + ".flac")).string());
    EXPECT_EQ(RunCommand("flac -s -t " + file + " 2>&1").status, 0);
    const auto pcm = RunCommand("ffmpeg -v error -i " + file + " -f s16le -acodec pcm_s16le -");
    ASSERT_EQ(pcm.status, 0);
    const int32_t begin = image.starts[size_t(track - 1)];
    const int32_t end = track < 3 ? image.starts[size_t(track)] : image.leadOut;
    std::string expected(size_t(end - begin) * 2352, '\0');
    bin.seekg(std::streamoff(begin) * 2352);
    bin.read(expected.data(), std::streamsize(expected.size()));
    EXPECT_EQ(pcm.out.size(), expected.size());
    EXPECT_TRUE(pcm.out == expected);

    const auto md5 = RunCommand("metaflac --show-md5sum " + file);
    EXPECT_TRUE(std::regex_match(md5.out, std::regex("[0-9a-f]{32}\n"))) << md5.out;
    EXPECT_NE(md5.out, std::string(32, '0') + "\n");
    const auto seekTable = RunCommand("metaflac --list --block-type=SEEKTABLE " + file);
    static const std::regex point("point [0-9]+: sample_number=");
    const auto points = size_t(std::distance(
        std::sregex_iterator(seekTable.out.begin(), seekTable.out.end(), point), std::sregex_iterator()));
    EXPECT_EQ(points, track == 1 ? 3u : 1u) << seekTable.out;
    // No point past the end of the audio.
    EXPECT_EQ(seekTable.out.find("sample_number=18446744073709551615"), std::string::npos) << seekTable.out;
  }
  const std::filesystem::path fastest = rip("fastest", " --flac-level 0");
  const std::filesystem::path smallest = rip("smallest", " --flac-level 8");
  EXPECT_GT(std::filesystem::file_size(fastest / "Track 1.flac"),
            std::filesystem::file_size(out / "Track 1.flac"));
  EXPECT_LE(std::filesystem::file_size(smallest / "Track 1.flac"),
            std::filesystem::file_size(out / "Track 1.flac"));
}

// Opus files as the reference tools see them: opusinfo finds a sound stream, and FFmpeg decodes
// each track, a one-sector track too, to its own length (the pre-skip and the end trimmed, so an
// album plays without gaps), in place; the bit rate reaches the encoder.
TEST(KorviCliOpus, FilesDecodeToTheTracksLengthInPlace) {
  ImageRips disc({{false, 900, 0, {}}, {false, 1, 0, {}}, {false, 151, 0, {}}});
  ASSERT_TRUE(disc.Ready());
  const fixtures::WrittenImage& image = disc.Image();
  const auto rip = [&](const std::string& name, const std::string& more) {
    return disc.Rip("opus", name, more);
  };
  const auto samples = [](const std::string& bytes) {
    std::vector<int16_t> values(bytes.size() / 2);
    std::memcpy(values.data(), bytes.data(), values.size() * 2);
    return values;
  };
  const std::filesystem::path out = rip("default", "");
  for (int track = 1; track <= 3; ++track) {
    SCOPED_TRACE("track " + std::to_string(track));
    const std::string file = ShellQuote((out / ("Track " + std::to_string(track) + ".opus")).string());
    const auto info = RunCommand("opusinfo " + file + " 2>&1");
    EXPECT_EQ(info.status, 0) << info.out;
    EXPECT_EQ(info.out.find("WARNING"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("Original sample rate: 44100 Hz"), std::string::npos) << info.out;
    const auto pcm = RunCommand("ffmpeg -v error -i " + file + " -f s16le -acodec pcm_s16le -ar 44100 -");
    ASSERT_EQ(pcm.status, 0);
    const int32_t begin = image.starts[size_t(track - 1)];
    const int32_t end = track < 3 ? image.starts[size_t(track)] : image.leadOut;
    const std::vector<uint8_t> bin = fixtures::ReadBinSectors(image.bin, begin, end - 1);
    const std::vector<int16_t> original = samples(std::string(bin.begin(), bin.end()));
    const std::vector<int16_t> decoded = samples(pcm.out);
    // Exact but for the rounding of the resampling back to 44.1 kHz: the encoder's delay (312
    // samples) and padding are trimmed.
    EXPECT_LE(std::abs(long(decoded.size()) - long(original.size())), 4L)
        << decoded.size() << " samples for " << original.size();
    if (track == 2) continue;  // 13 ms: too short to judge the sound by
    double signal = 0, noise = 0;
    for (size_t i = 0; i < std::min(original.size(), decoded.size()); ++i) {
      signal += double(original[i]) * original[i];
      noise += (decoded[i] - double(original[i])) * (decoded[i] - double(original[i]));
    }
    EXPECT_GT(10 * std::log10(signal / std::max(noise, 1.0)), 20.0) << "not the track's sound, or shifted";
  }
  const std::filesystem::path low = rip("low", " --opus-bitrate 64");
  const std::filesystem::path high = rip("high", " --opus-bitrate 256");
  EXPECT_LT(std::filesystem::file_size(low / "Track 1.opus") * 3 / 2,
            std::filesystem::file_size(out / "Track 1.opus"));
  EXPECT_LT(std::filesystem::file_size(out / "Track 1.opus") * 5 / 4,
            std::filesystem::file_size(high / "Track 1.opus"));
}

// Encoding several tracks at once changes nothing in the files: the bytes of every format are
// those of one encoder working through the tracks in turn.
TEST(KorviCliRipJobs, EveryFormatGivesTheSameBytesWithOneEncoderOrMany) {
  fixtures::TempDir dir;
  fixtures::ImageLayout layout;
  // Longer than a queue each, so that the reader fills one and goes on to the next track.
  layout.tracks = {{false, 1500, 0, {}}, {false, 1100, 30, {}}, {false, 1300, 4, {}}, {false, 400, 0, {}}};
  fixtures::WrittenImage image;
  ASSERT_TRUE(fixtures::WriteCueBinImage(dir / "jobs.cue", layout, &image, nullptr));
  const std::string env = "HOME=" + ShellQuote(dir.path().string()) +
                          " XDG_CONFIG_HOME=" + ShellQuote((dir / "config").string()) +
                          " XDG_DATA_HOME=" + ShellQuote((dir / "data").string()) + " ";
  const auto read = [](const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  };
  for (const std::string format : {"wav", "mp3", "ape", "flac"}) {
    std::map<std::string, std::vector<std::string>> files;  // by --jobs
    for (const std::string jobs : {"1", "3"}) {
      const std::filesystem::path out = dir / (format + jobs);
      std::filesystem::create_directory(out);
      const auto result =
          RunCommand(env + Cli("rip " + ShellQuote(image.cue.string()) + " --format " + format + " --jobs " +
                               jobs + " --out " + ShellQuote(out.string())));
      ASSERT_EQ(result.status, 0) << format << " --jobs " << jobs << ": " << result.out;
      for (int track = 1; track <= 4; ++track)
        files[jobs].push_back(read(out / ("Track " + std::to_string(track) + "." + format)));
    }
    for (int track = 0; track < 4; ++track) {
      ASSERT_GT(files["1"][size_t(track)].size(), 1000u) << format << " track " << track + 1;
      EXPECT_TRUE(files["3"][size_t(track)] == files["1"][size_t(track)]) << format << " track " << track + 1;
    }
  }
}

// On a terminal the tool shows where the job is (track, percent, reading speed); into a file it
// writes nothing but what went wrong.
TEST_F(KorviCliRip, AProgressLineOnATerminalOnly) {
  const std::string rip =
      m_env + Cli("rip " + ShellQuote(m_image.cue.string()) + " --format mp3 --no-verify --out " +
                  ShellQuote(m_out.string()) + " --on-exists overwrite");
  // script runs the tool on a terminal of its own and copies what the terminal showed to stdout.
  const auto shown = RunCommand("script -qec " + ShellQuote(rip) + " /dev/null");
  ASSERT_EQ(shown.status, 0) << shown.out;
  EXPECT_TRUE(std::regex_search(shown.out, std::regex("\r\x1b\\[Ktrack [1-3]  +[0-9]+%  [0-9]+\\.[0-9]x")))
      << shown.out;
  // The line is gone before the files are listed.
  EXPECT_NE(shown.out.find("\r\x1b[K" + (m_out / "Track 1.mp3").string()), std::string::npos) << shown.out;

  const std::filesystem::path err = m_dir / "err.txt";
  ASSERT_EQ(RunCommand(rip + " 2>" + ShellQuote(err.string())).status, 0);
  EXPECT_EQ(std::filesystem::file_size(err), 0u);
}

TEST_F(KorviCliRip, UsageErrors) {
  const std::string out = " --out " + ShellQuote(m_out.string()) + " 2>/dev/null";
  EXPECT_EQ(Rip("--format ogg" + out).status, 2);
  for (const char* level : {"9", "-1", "high", ""}) {
    const auto result = Rip("--format flac --flac-level " + std::string(level) + " --out " +
                            ShellQuote(m_out.string()) + " 2>&1");
    EXPECT_EQ(result.status, 2) << level;
    EXPECT_NE(result.out.find("korvi-cli: --flac-level takes 0 (fastest) to 8 (smallest)\nusage:"),
              std::string::npos)
        << result.out;
  }
  for (const char* rate : {"63", "257", "fast"}) {
    const auto result = Rip("--format opus --opus-bitrate " + std::string(rate) + " --out " +
                            ShellQuote(m_out.string()) + " 2>&1");
    EXPECT_EQ(result.status, 2) << rate;
    EXPECT_NE(result.out.find("korvi-cli: --opus-bitrate takes 64 to 256 kbit/s\nusage:"), std::string::npos)
        << result.out;
  }
  // A value the encoder would not take is refused before any track is read, naming those it takes.
  const std::map<std::string, std::string> refused = {
      {"--format mp3 --bitrate 7", "--bitrate takes 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256 or 320 kbit/s"},
      {"--format mp3 --bitrate 1000", "--bitrate takes 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256 or 320 kbit/s"},
      {"--format mp3 --bitrate 100", "--bitrate takes 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256 or 320 kbit/s"},
      {"--format ape --level 1500", "--level takes 1000 (Fast), 2000 (Normal), 3000 (High), 4000 (Extra High) or 5000 (Insane)"},
      {"--format ape --level 6000", "--level takes 1000 (Fast), 2000 (Normal), 3000 (High), 4000 (Extra High) or 5000 (Insane)"},
      {"--format ape --level abc", "--level takes 1000 (Fast), 2000 (Normal), 3000 (High), 4000 (Extra High) or 5000 (Insane)"},
  };
  for (const auto& [args, message] : refused) {
    const auto result = Rip(args + " --out " + ShellQuote(m_out.string()) + " 2>&1");
    EXPECT_EQ(result.status, 2) << args;
    EXPECT_NE(result.out.find("korvi-cli: " + message + "\nusage: korvi-cli rip DRIVE"), std::string::npos) << result.out;
  }
  EXPECT_EQ(Rip(out).status, 2);
  EXPECT_EQ(Rip("--format wav --tracks 0" + out).status, 2);
  EXPECT_EQ(Rip("--format wav --tracks 2-1" + out).status, 2);
  EXPECT_EQ(Rip("--format wav --tracks 9" + out).status, 2);
  EXPECT_EQ(Rip("--format wav --bitrate fast" + out).status, 2);
  EXPECT_EQ(Rip("--format wav --on-exists maybe" + out).status, 2);
  EXPECT_EQ(Rip("--format wav --frobnicate" + out).status, 2);
  EXPECT_EQ(Rip("--format wav --jobs -1" + out).status, 2);
  EXPECT_EQ(Rip("--format wav --jobs 65" + out).status, 2);
  EXPECT_EQ(Rip("--format wav --jobs" + out).status, 2);
  EXPECT_EQ(
      RunCommand(m_env + Cli("rip " + ShellQuote((m_dir / "none.cue").string()) + " --format wav" + out))
          .status,
      1);
  EXPECT_TRUE(std::filesystem::is_empty(m_out));
}

}  // namespace
}  // namespace korvi
