// Cue sheets shaped as real rips write them (fuzz/corpus/cue_sheet), over data files written to fit
// them, read and ripped by korvi-cli; the disc ids checked against libdiscid on the pressed disc's
// table of contents. And a FLAC image cut short, ripped without decoding it over and over.

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <regex>

#include "fixtures/child_process.h"
#include "fixtures/disc_image_writer.h"
#include "fixtures/image_toc.h"
#include "fixtures/musicbrainz_replies.h"
#include "fixtures/oracles.h"
#include "fixtures/temp_dir.h"
#include "fixtures/time_scale.h"

namespace korvi {
namespace {

using fixtures::CdInfoTrack;
constexpr size_t kSector = 2352;

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

std::string Le32(uint32_t v) { return {char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; }

// Music of its own for each seed, or MODE1 sectors numbered from firstSector.
std::string Sectors(int32_t count, uint32_t seed, bool data = false, int32_t firstSector = 0) {
  std::string bytes(size_t(count) * kSector, '\0');
  for (int32_t s = 0; s < count; ++s) {
    auto* out = reinterpret_cast<uint8_t*>(bytes.data() + size_t(s) * kSector);
    data ? fixtures::FillDataSector(firstSector + s, out) : fixtures::FillAudioSector(seed, 1, s, out);
  }
  return bytes;
}

std::string Wave(const std::string& pcm) {
  return "RIFF" + Le32(uint32_t(36 + pcm.size())) + "WAVEfmt " + Le32(16) +
         std::string("\x01\x00\x02\x00\x44\xAC\x00\x00\x10\xB1\x02\x00\x04\x00\x10\x00", 16) + "data" +
         Le32(uint32_t(pcm.size())) + pcm;
}

class RealSheets : public ::testing::Test {
 protected:
  // The corpus sheet, copied beside the data files under the name given.
  std::string Sheet(const std::string& corpusName, const std::string& name = {}) {
    const std::filesystem::path to = m_dir / (name.empty() ? corpusName : name);
    std::filesystem::copy_file(std::filesystem::path(KORVI_CUE_CORPUS) / corpusName, to);
    return to.string();
  }
  void Write(const std::string& name, const std::string& bytes) {
    std::ofstream(m_dir / name, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
  }
  fixtures::ChildResult Cli(std::vector<std::string> args) {
    args.insert(args.begin(), KORVI_CLI_PATH);
    const std::string home = m_dir.path().string();
    fixtures::ChildOptions options;
    options.args = std::move(args);
    options.env = {"HOME=" + home, "XDG_CONFIG_HOME=" + home + "/config", "XDG_DATA_HOME=" + home + "/data"};
    return fixtures::RunChild(options, std::chrono::milliseconds(fixtures::ScaledMs(60000)));
  }
  // korvi-cli toc: its stdout; any word on stderr fails the test.
  std::string Toc(const std::string& cue, bool cdText = false) {
    const fixtures::ChildResult toc = cdText ? Cli({"toc", "--cdtext", cue}) : Cli({"toc", cue});
    EXPECT_EQ(toc.status, 0) << toc.err;
    EXPECT_EQ(toc.err, "");
    return toc.out;
  }
  std::string RipOut(const std::string& cue, const std::string& tracks) {
    std::filesystem::create_directories(m_dir / "out");
    const fixtures::ChildResult rip = Cli({"rip", cue, "--format", "wav", "--no-verify", "--tracks", tracks,
                                           "--out", (m_dir / "out").string()});
    EXPECT_EQ(rip.status, 0) << rip.err;
    return rip.out;
  }
  // MusicBrainz's disc id as the program asks for it.
  std::string MusicBrainzId(const std::string& cue) {
    const auto read = fixtures::ReadImageToc(cue);
    return read ? fixtures::MusicBrainzDiscPath(read->toc).substr(13) : "(unreadable)";
  }

  fixtures::TempDir m_dir;
};

// Ripped a file per track (gaps at the end of the file before) into a folder of a Windows machine,
// the data track named with a mode of no standard and only an INDEX 00, the genre unquoted.
TEST_F(RealSheets, EnhancedCdRippedPerTrackReadsWithItsTextAndWithoutItsDataTrack) {
  Write("01 - Anlauf.wav", Wave(Sectors(375, 1)));
  Write("02 - Glut & Asche.wav", Wave(Sectors(225, 2)));
  Write("03 - Ausklang.wav", Wave(Sectors(375, 3)));
  const std::string cue = Sheet("enhanced_per_track.cue");
  const std::string out = Toc(cue, true);
  // The last audio track ends where the data track's INDEX 00 stands, at the end of its file.
  EXPECT_EQ(out.substr(0, out.find("discid")),
            "Track 1\t0:0:4\t0\t374\nTrack 2\t0:0:2\t375\t599\nTrack 3\t0:0:4\t600\t974\n");
  EXPECT_EQ(out.substr(out.find("\ndisc\t") + 1),
            "disc\tTITLE\tFunken im Regen\ndisc\tPERFORMER\tStahlwerk\ndisc\tCATALOG\t0731455744422\n"
            "disc\tGENRE\tHeavy Metal\ndisc\tDATE\t1998\ndisc\tDISCID\t2B0C4E04\n"
            "1\tTITLE\tAnlauf\n1\tPERFORMER\tStahlwerk\n1\tISRC\tDEA619800101\n"
            "2\tTITLE\tGlut & Asche\n2\tPERFORMER\tStahlwerk\n2\tISRC\tDEA619800102\n"
            "3\tTITLE\tAusklang\n3\tPERFORMER\tStahlwerk\n");
}

// The pressed disc: two audio tracks, the second session's data track 11400 sectors after them.
const std::vector<CdInfoTrack> kSessionDisc = {
    {1, 0, true}, {2, 550, true}, {3, 1050 + 11400, false}, {170, 1050 + 11400 + 600, false}};

TEST_F(RealSheets, ASecondSessionStartsWhereItWouldOnTheDisc) {
  // A file per track, the data track's pregap in its file, the gap between the sessions in none.
  Write("Kaleidoskop (Track 1).bin", Sectors(400, 4));
  Write("Kaleidoskop (Track 2).bin", Sectors(650, 5));
  Write("Kaleidoskop (Track 3).bin", Sectors(750, 0, true, 12300));
  // One file holding the whole disc, the gap included (silence), as cd-info takes it too.
  const std::string audio =
      ReadFile(m_dir / "Kaleidoskop (Track 1).bin") + ReadFile(m_dir / "Kaleidoskop (Track 2).bin");
  Write("Kaleidoskop.bin",
        audio + std::string(11250 * kSector, '\0') + ReadFile(m_dir / "Kaleidoskop (Track 3).bin"));
  ASSERT_EQ(fixtures::CdInfoTracks(Sheet("session_one_bin.cue", "Kaleidoskop.cue")), kSessionDisc);
  const std::string discId = fixtures::LibDiscIdFreedbId(kSessionDisc);
  const std::string musicBrainzId = fixtures::LibDiscIdMusicBrainzId({{1, 0}, {2, 550}, {170, 1050}});
  for (const std::string& cue : {Sheet("session_per_track.cue"), (m_dir / "Kaleidoskop.cue").string()}) {
    SCOPED_TRACE(cue);
    EXPECT_EQ(Toc(cue), "Track 1\t0:0:7\t0\t549\nTrack 2\t0:0:6\t550\t1049\ndiscid " + discId + "\n");
    EXPECT_EQ(MusicBrainzId(cue), musicBrainzId);
  }
}

TEST_F(RealSheets, MixedModeDiscListsAndRipsTheAudioAfterItsDataTrack) {
  Write("Rallye Nord (Track 1).bin", Sectors(700, 0, true));
  Write("Rallye Nord (Track 2).bin", Sectors(550, 9));
  Write("Rallye Nord (Track 3).bin", Sectors(450, 10));
  const std::string cue = Sheet("mixed_mode.cue");
  const std::string discId =
      fixtures::LibDiscIdFreedbId({{1, 0, false}, {2, 850, true}, {3, 1400, true}, {170, 1700, false}});
  EXPECT_EQ(Toc(cue), "Track 2\t0:0:7\t850\t1399\nTrack 3\t0:0:3\t1400\t1699\ndiscid " + discId + "\n");
  EXPECT_NE(RipOut(cue, "3").find((m_dir / "out" / "Track 3.wav").string() + "\n"), std::string::npos);
  EXPECT_TRUE(ReadFile(m_dir / "out" / "Track 3.wav").substr(44) ==
              ReadFile(m_dir / "Rallye Nord (Track 3).bin").substr(150 * kSector));
}

// Lower-case keywords, a Windows path, and the second disc of a set whose tracks go on from 04.
TEST_F(RealSheets, TracksFromFourKeepTheirNumbers) {
  const std::string pcm = Sectors(750, 11);
  Write("Nachtfahrt - CD2.wav", Wave(pcm));
  const std::string cue = Sheet("from_track_04.cue");
  const std::string out = Toc(cue, true);
  EXPECT_EQ(out.substr(0, out.find("discid")),
            "Track 4\t0:0:3\t0\t299\nTrack 5\t0:0:2\t300\t524\nTrack 6\t0:0:2\t525\t749\n");
  EXPECT_EQ(out.substr(out.find("\n4\t") + 1),
            "4\tTITLE\tTunnel\n4\tPERFORMER\tOstwind\n5\tTITLE\tBr\u00FCcke\n5\tPERFORMER\tOstwind\n"
            "6\tTITLE\tAnkunft\n6\tPERFORMER\tLena Adler\n");

  const fixtures::ChildResult refused = Cli({"rip", cue, "--format", "wav", "--tracks", "2"});
  EXPECT_EQ(refused.status, 2);
  EXPECT_EQ(refused.err, "korvi-cli: the disc has no audio track 2; it lists audio tracks 4 to 6\n");
  const std::filesystem::path out5 = m_dir / "out" / "Track 5.wav";
  EXPECT_NE(RipOut(cue, "5").find(out5.string() + "\n"), std::string::npos);
  EXPECT_TRUE(ReadFile(out5).substr(44) == pcm.substr(300 * kSector, 225 * kSector));
}

// A whole-disc FLAC image cut at 40 %, its header still counting every sample: the stream's end
// is found once, and every read past it fails at once instead of decoding the file again.
TEST_F(RealSheets, AFlacImageCutShortIsNotDecodedAgainForEachSectorPastItsEnd) {
  Write("disc.raw", Sectors(6000, 12));
  const auto flac = fixtures::RunCommand(
      "cd " + fixtures::ShellQuote(m_dir.path().string()) +
      " && flac -s --force-raw-format --endian=little --sign=signed --channels=2 --bps=16 "
      "--sample-rate=44100 -o whole.flac disc.raw 2>&1");
  ASSERT_EQ(flac.status, 0) << flac.out;
  const std::string whole = ReadFile(m_dir / "whole.flac");
  Write("Cut.flac", whole.substr(0, whole.size() * 4 / 10));
  std::ofstream(m_dir / "cut.cue") << "FILE \"Cut.flac\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
                                   << "  TRACK 02 AUDIO\n    INDEX 01 00:26:50\n"
                                   << "  TRACK 03 AUDIO\n    INDEX 01 00:53:25\n";
  std::filesystem::create_directory(m_dir / "out");
  // Tracks 2 and 3 read on into the cut; track 3 alone seeks past it first. What the rips read is
  // counted by the kernel for the shell that waited for them.
  std::string rips = "cd " + fixtures::ShellQuote(m_dir.path().string());
  for (const char* tracks : {"2,3", "3"})
    rips += " && (HOME=. XDG_CONFIG_HOME=config timeout " +
            std::to_string(fixtures::ScaledMs(120000) / 1000) + " " + fixtures::ShellQuote(KORVI_CLI_PATH) +
            " rip cut.cue --format wav --no-verify --no-log --no-cue" +
            " --on-exists overwrite --out out --tracks " + tracks + " >/dev/null 2>>err; echo status $?)";
  const auto rip = fixtures::RunCommand(rips + " && grep rchar /proc/$$/io");
  std::smatch read;
  ASSERT_TRUE(std::regex_search(rip.out, read, std::regex("^status 1\nstatus 1\nrchar: (\\d+)\n$")))
      << rip.out;
  // The stream once or twice, and the small files: far less than a decoding for each sector.
  EXPECT_LT(std::stoull(read[1]), whole.size());
  const std::string err = ReadFile(m_dir / "err");
  const std::string track3 = "out/Track 3.wav: 2000 sector(s) could not be read, the first at sector 4000";
  EXPECT_NE(err.find(track3), err.rfind(track3)) << err;
}

}  // namespace
}  // namespace korvi
