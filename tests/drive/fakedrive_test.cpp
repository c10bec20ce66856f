// A disc image behind the emulated drive (libkorvi_fakedrive.so preloaded): Debian's cd-info and
// cd-paranoia, written elsewhere against real drives, read its table of contents and its bytes, and
// the unmodified korvi-cli lists it, reads its table of contents and rips the image's bytes from
// it, a drive's read offset corrected by --offset, and a secure rip puts right a drive that lands
// off by a few samples where it seeks (jitter) as a burst rip cannot.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <sstream>
#include <thread>

#include "drive/drive_env.h"
#include "fixtures/child_process.h"
#include "fixtures/disc_image_writer.h"
#include "fixtures/temp_dir.h"
#include "fixtures/time_scale.h"

namespace korvi {
namespace {

// A name libcdio's own search for drives tries, so that the drive list finds it.
const std::string kDrive = "/dev/sr27";

// The tool's path, or empty when it is not installed.
std::string ToolPath(const std::string& tool) {
  fixtures::ChildOptions options;
  options.args = {"/bin/sh", "-c", "command -v " + tool};
  fixtures::ChildProcess child;
  if (!child.Start(options)) return {};
  const fixtures::ChildResult result = child.Finish(std::chrono::milliseconds(fixtures::ScaledMs(10000)));
  if (!result.exited || result.status != 0) return {};
  return result.out.substr(0, result.out.find('\n'));
}

std::vector<char> FileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Where two files' bytes first differ ("same" when they do not), short enough to print.
std::string Difference(const std::vector<char>& got, const std::vector<char>& wanted) {
  if (got.empty() && wanted.empty()) return "both empty";
  const auto mismatch = std::mismatch(got.begin(), got.end(), wanted.begin(), wanted.end());
  if (mismatch.first == got.end() && mismatch.second == wanted.end()) return "same";
  return "differ at byte " + std::to_string(mismatch.first - got.begin()) + " of " + std::to_string(got.size()) +
         " and " + std::to_string(wanted.size());
}

class FakeDrive : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fixtures::WriteCueBinImage(m_dir / "disc.cue", fixtures::ThreeTrackDisc(7), &m_image, nullptr));
  }

  fixtures::ChildResult Run(std::vector<std::string> args, const std::string& behaviours = "") {
    fixtures::ChildOptions options;
    options.args = std::move(args);
    options.env = fixtures::FakeDriveEnv(kDrive + "=" + m_image.cue.string() + behaviours, m_dir / "home");
    options.workDir = m_dir.path();
    fixtures::ChildProcess child;
    EXPECT_TRUE(child.Start(options));
    return child.Finish(std::chrono::milliseconds(fixtures::ScaledMs(120000)));
  }

  fixtures::ChildResult Rip(const std::string& source, const std::string& folder, std::vector<std::string> more = {},
                            const std::string& behaviours = "") {
    std::filesystem::create_directories(m_dir / folder);
    std::vector<std::string> args = {KORVI_CLI_PATH, "rip",    source, "--format", "wav",
                                     "--out",        (m_dir / folder).string(), "--mode", "burst"};
    args.insert(args.end(), more.begin(), more.end());
    return Run(args, behaviours);
  }

  std::vector<char> Track(const std::string& folder, int track) const {
    return FileBytes(m_dir / folder / ("Track " + std::to_string(track) + ".wav"));
  }

  fixtures::TempDir m_dir;
  fixtures::WrittenImage m_image;
};

TEST_F(FakeDrive, CdInfoReadsTheImagesTableOfContents) {
  const std::string cdInfo = ToolPath("cd-info");
  if (cdInfo.empty()) GTEST_SKIP() << "cd-info (libcdio-utils) is not installed";
  const fixtures::ChildResult info =
      Run({cdInfo, "--no-header", "--no-cddb", "-A", "-C", kDrive}, ",vendor=ACME,model=SPINNER 9,revision=2.1");
  ASSERT_TRUE(info.exited) << info.err;
  ASSERT_EQ(info.status, 0) << info.out << info.err;
  // Rows such as "  2: 00:14:00  000900 audio  false  no    2        no", and the lead-out's.
  const std::regex row(R"(^\s*(\d+): \d\d:\d\d:\d\d\s+(\d+) (audio|leadout))");
  std::vector<int32_t> starts;
  std::istringstream lines(info.out);
  for (std::string line; std::getline(lines, line);) {
    std::smatch match;
    if (std::regex_search(line, match, row)) starts.push_back(std::stoi(match[2]));
  }
  std::vector<int32_t> expected = m_image.starts;
  expected.push_back(m_image.leadOut);
  EXPECT_EQ(starts, expected) << info.out;
  EXPECT_NE(info.out.find("ACME    \n"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("SPINNER 9       \n"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("2.1 \n"), std::string::npos) << info.out;
}

TEST_F(FakeDrive, CdParanoiaReadsTheImagesBytes) {
  const std::string cdParanoia = ToolPath("cd-paranoia");
  if (cdParanoia.empty()) GTEST_SKIP() << "cd-paranoia (libcdio-utils) is not installed";
  const fixtures::ChildResult rip = Run({cdParanoia, "-q", "-d", kDrive, "-r", "--", "1-", "all.raw"});
  ASSERT_TRUE(rip.exited) << rip.err;
  ASSERT_EQ(rip.status, 0) << rip.out << rip.err;
  const std::vector<uint8_t> disc = fixtures::ReadBinSectors(m_image.bin, m_image.starts[0], m_image.leadOut - 1);
  EXPECT_EQ(Difference(FileBytes(m_dir / "all.raw"), {disc.begin(), disc.end()}), "same");
}

TEST_F(FakeDrive, KorviCliListsTheDriveReadsItsTocAndRipsTheImagesBytes) {
  const fixtures::ChildResult drives = Run({KORVI_CLI_PATH, "drives"});
  ASSERT_TRUE(drives.exited) << drives.err;
  EXPECT_NE(drives.out.find(kDrive), std::string::npos) << drives.out << drives.err;

  const fixtures::ChildResult driveToc = Run({KORVI_CLI_PATH, "toc", kDrive});
  const fixtures::ChildResult imageToc = Run({KORVI_CLI_PATH, "toc", m_image.cue.string()});
  ASSERT_EQ(driveToc.status, 0) << driveToc.err;
  EXPECT_EQ(driveToc.out, imageToc.out);

  const fixtures::ChildResult fromDrive = Rip(kDrive, "drive");
  const fixtures::ChildResult fromImage = Rip(m_image.cue.string(), "image");
  ASSERT_EQ(fromDrive.status, 0) << fromDrive.err;
  ASSERT_EQ(fromImage.status, 0) << fromImage.err;
  for (int track = 1; track <= 3; ++track) {
    EXPECT_GT(Track("image", track).size(), 44u);
    EXPECT_EQ(Difference(Track("drive", track), Track("image", track)), "same") << "track " << track;
  }
}

TEST_F(FakeDrive, OffsetOfTheDriveIsCorrectedByTheRipsOffset) {
  const fixtures::ChildResult fromImage = Rip(m_image.cue.string(), "image");
  ASSERT_EQ(fromImage.status, 0) << fromImage.err;
  for (const int offset : {667, -30}) {
    const std::string folder = "offset" + std::to_string(offset);
    const fixtures::ChildResult uncorrected = Rip(kDrive, folder + "raw", {}, ",offset=" + std::to_string(offset));
    const fixtures::ChildResult corrected =
        Rip(kDrive, folder, {"--offset", std::to_string(offset)}, ",offset=" + std::to_string(offset));
    ASSERT_EQ(corrected.status, 0) << corrected.err;
    // The drive's offset shows when it is not corrected, and is gone when it is.
    EXPECT_NE(Difference(Track(folder + "raw", 2), Track("image", 2)), "same") << offset;
    EXPECT_EQ(Difference(Track(folder, 2), Track("image", 2)), "same") << offset;
    // At the disc's edges, the samples the offset moves past sector 0 or the lead-out are not
    // asked of the drive (a drive cannot read them): all the rest of the edge tracks is exact.
    const size_t edge = size_t(std::abs(offset)) * 4;
    std::vector<char> first = Track(folder, 1), firstWanted = Track("image", 1);
    std::vector<char> last = Track(folder, 3), lastWanted = Track("image", 3);
    ASSERT_TRUE(first.size() > edge + 44 && last.size() > edge + 44);
    if (offset < 0) {
      first.erase(first.begin() + 44, first.begin() + 44 + long(edge));
      firstWanted.erase(firstWanted.begin() + 44, firstWanted.begin() + 44 + long(edge));
    } else {
      last.resize(last.size() - edge);
      lastWanted.resize(lastWanted.size() - edge);
    }
    EXPECT_EQ(Difference(first, firstWanted), "same") << offset;
    EXPECT_EQ(Difference(last, lastWanted), "same") << offset;
  }
}

TEST_F(FakeDrive, MediumErrorsAreNamedWithTheirPlaceAndAnOpenTrayHasNoDisc) {
  const fixtures::ChildResult fromImage = Rip(m_image.cue.string(), "image");
  const fixtures::ChildResult damaged = Rip(kDrive, "damaged", {}, ",bad=1000-1002");
  ASSERT_TRUE(damaged.exited) << damaged.err;
  EXPECT_EQ(damaged.status, 1) << damaged.err;
  EXPECT_NE(damaged.err.find("3 sector(s) could not be read, the first at sector 1000"), std::string::npos)
      << damaged.err;
  EXPECT_EQ(Difference(Track("damaged", 1), Track("image", 1)), "same");
  EXPECT_EQ(Difference(Track("damaged", 3), Track("image", 3)), "same");

  for (const std::string behaviour : {",tray=open", ",nodisc"}) {
    const fixtures::ChildResult toc = Run({KORVI_CLI_PATH, "toc", kDrive}, behaviour);
    EXPECT_EQ(toc.status, 1) << behaviour;
    EXPECT_NE(toc.err.find("No medium found"), std::string::npos) << behaviour << ": " << toc.err;
  }
  // A list with a mistake in it presents no drive rather than one without the fault.
  const fixtures::ChildResult mistaken = Run({KORVI_CLI_PATH, "toc", kDrive}, ",bad=9-1");
  EXPECT_NE(mistaken.status, 0);
  EXPECT_NE(mistaken.err.find("KORVI_FAKE_DRIVES: unknown behaviour 'bad=9-1'"), std::string::npos) << mistaken.err;
}

TEST_F(FakeDrive, SecureRipPutsRightADriveThatJittersWhereBurstGetsShiftedBytes) {
  const fixtures::ChildResult fromImage = Rip(m_image.cue.string(), "image");
  ASSERT_EQ(fromImage.status, 0) << fromImage.err;
  // Every seek that lands between sectors 300 and 2500 lands a few samples off.
  const std::string jitter = ",jitter=300-2500";
  // Track 2 alone: the burst rip seeks to its start.
  const fixtures::ChildResult burst = Rip(kDrive, "burst", {"--tracks", "2"}, jitter);
  const fixtures::ChildResult secure = Rip(kDrive, "secure", {"--mode", "secure"}, jitter);
  ASSERT_EQ(burst.status, 0) << burst.err;
  ASSERT_EQ(secure.status, 0) << secure.err;
  EXPECT_NE(Difference(Track("burst", 2), Track("image", 2)), "same");
  // Paranoia met the jitter, and put it right.
  EXPECT_TRUE(std::regex_search(secure.err, std::regex("[1-9][0-9]* jitter fixes"))) << secure.err;
  for (int track = 1; track <= 3; ++track)
    EXPECT_EQ(Difference(Track("secure", track), Track("image", track)), "same") << "track " << track << secure.err;
}

TEST_F(FakeDrive, EveryStatCallSeesABlockDevice) {
  // The shell's test -b asks stat, coreutils' stat asks statx (as Qt's file information does).
  const fixtures::ChildResult kind =
      Run({"/bin/sh", "-c", "test -b " + kDrive + " && stat -c %F " + kDrive + " && stat -c %F " + m_dir.path().string()});
  ASSERT_EQ(kind.status, 0) << kind.out << kind.err;
  EXPECT_EQ(kind.out, "block special file\ndirectory\n");
}

// The files in folder whose names end with extension.
std::vector<std::filesystem::path> FilesEndingIn(const std::filesystem::path& folder, const std::string& extension) {
  std::vector<std::filesystem::path> found;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    if (entry.path().string().ends_with(extension)) found.push_back(entry.path());
  return found;
}

TEST_F(FakeDrive, PreEmphasisInTheTocIsNamedInTheLogAndFlaggedInTheCueSheet) {
  // Track 2 of the disc is mastered with pre-emphasis: the image says so, the drive's table of
  // contents carries it in the track's control bits, and libcdio reads it from there.
  std::string sheet = fixtures::FileText(m_image.cue);
  const size_t track2 = sheet.find("TRACK 02 AUDIO");
  ASSERT_NE(track2, std::string::npos) << sheet;
  sheet.insert(sheet.find('\n', track2) + 1, "    FLAGS PRE\n");
  std::ofstream(m_image.cue, std::ios::binary | std::ios::trunc) << sheet;

  const fixtures::ChildResult rip = Rip(kDrive, "emphasis");
  ASSERT_EQ(rip.status, 0) << rip.err;
  const std::vector<std::filesystem::path> logs = FilesEndingIn(m_dir / "emphasis", ".log");
  const std::vector<std::filesystem::path> cues = FilesEndingIn(m_dir / "emphasis", ".cue");
  ASSERT_EQ(logs.size(), 1u);
  ASSERT_EQ(cues.size(), 1u);
  const std::string log = fixtures::FileText(logs[0]);
  const std::regex emphasised(R"(Track 2\n(  .*\n)*  Pre-emphasis +yes)");
  EXPECT_TRUE(std::regex_search(log, emphasised)) << log;
  EXPECT_EQ(log.find("Pre-emphasis"), log.rfind("Pre-emphasis")) << "only track 2 is emphasised:\n" << log;
  const std::string cue = fixtures::FileText(cues[0]);
  const size_t flags = cue.find("FLAGS PRE");
  ASSERT_NE(flags, std::string::npos) << cue;
  EXPECT_EQ(flags, cue.rfind("FLAGS PRE")) << cue;
  EXPECT_LT(cue.find("TRACK 02 AUDIO"), flags) << cue;
  EXPECT_LT(flags, cue.find("INDEX 01", cue.find("TRACK 02 AUDIO"))) << cue;
}

TEST_F(FakeDrive, TwoDrivesRipAtOnceAndADriveInUseIsBusy) {
  fixtures::ImageLayout otherLayout = fixtures::ThreeTrackDisc(7);
  otherLayout.seed = 99;
  fixtures::WrittenImage other;
  std::filesystem::create_directories(m_dir / "other");
  ASSERT_TRUE(fixtures::WriteCueBinImage(m_dir / "other" / "disc.cue", otherLayout, &other, nullptr));
  const std::string secondDrive = "/dev/sr26";
  // Slow enough that the rips overlap and the third program asks while the first still reads.
  const std::string drives = kDrive + "=" + m_image.cue.string() + ",latency_ms=15;" + secondDrive + "=" +
                             other.cue.string() + ",latency_ms=15";
  const auto start = [&](fixtures::ChildProcess& child, const std::string& drive, const std::string& folder) {
    std::filesystem::create_directories(m_dir / folder);
    fixtures::ChildOptions options;
    options.args = {KORVI_CLI_PATH, "rip", drive, "--format", "wav", "--out", (m_dir / folder).string(), "--mode",
                    "burst"};
    options.env = fixtures::FakeDriveEnv(drives, m_dir / "home");
    options.workDir = m_dir.path();
    return child.Start(options);
  };
  fixtures::ChildProcess first, second, third;
  ASSERT_TRUE(start(first, kDrive, "first"));
  ASSERT_TRUE(start(second, secondDrive, "second"));
  // The first rip holds its drive once it writes its first file.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(fixtures::ScaledMs(60000));
  while (FilesEndingIn(m_dir / "first", "").empty() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_TRUE(start(third, kDrive, "third"));
  const fixtures::ChildResult busy = third.Finish(std::chrono::milliseconds(fixtures::ScaledMs(60000)));
  const fixtures::ChildResult one = first.Finish(std::chrono::milliseconds(fixtures::ScaledMs(120000)));
  const fixtures::ChildResult two = second.Finish(std::chrono::milliseconds(fixtures::ScaledMs(120000)));
  ASSERT_EQ(one.status, 0) << one.err;
  ASSERT_EQ(two.status, 0) << two.err;
  EXPECT_EQ(busy.status, 1) << busy.err;
  EXPECT_NE(busy.err.find("the drive " + kDrive + " is busy: another program is ripping from it"), std::string::npos)
      << busy.err;
  EXPECT_TRUE(FilesEndingIn(m_dir / "third", "").empty());

  const fixtures::ChildResult image = Rip(m_image.cue.string(), "image");
  const fixtures::ChildResult otherImage = Rip(other.cue.string(), "otherImage");
  ASSERT_EQ(image.status, 0) << image.err;
  ASSERT_EQ(otherImage.status, 0) << otherImage.err;
  for (int track = 1; track <= 3; ++track) {
    EXPECT_EQ(Difference(Track("first", track), Track("image", track)), "same") << "track " << track;
    EXPECT_EQ(Difference(Track("second", track), Track("otherImage", track)), "same") << "track " << track;
  }
  // Once the first rip has ended, its drive is free again.
  EXPECT_EQ(Rip(kDrive, "after").status, 0);
}

TEST_F(FakeDrive, TheAudioBeforeTrackOneIsReadFromADriveAsFromAnImage) {
  fixtures::ImageLayout layout = fixtures::ThreeTrackDisc(7);
  layout.tracks[0].pregap = 120;
  layout.audiblePregaps = true;
  ASSERT_TRUE(fixtures::WriteCueBinImage(m_dir / "hidden.cue", layout, &m_image, nullptr));
  const std::vector<uint8_t> hidden = fixtures::ReadBinSectors(m_image.bin, 0, m_image.starts[0] - 1);
  ASSERT_EQ(hidden.size(), 120u * 2352u);
  // Secure, as a drive is read by default: paranoia reads sector 0 of the drive too.
  for (const std::string mode : {"burst", "secure"}) {
    const fixtures::ChildResult rip = Rip(kDrive, mode, {"--tracks", "0,1", "--mode", mode});
    ASSERT_EQ(rip.status, 0) << rip.err;
    const std::vector<char> file = FileBytes(m_dir / mode / "00 - Hidden track.wav");
    ASSERT_EQ(file.size(), hidden.size() + 44) << mode;
    EXPECT_EQ(Difference({file.begin() + 44, file.end()}, {hidden.begin(), hidden.end()}), "same") << mode;
  }
}

TEST_F(FakeDrive, ASecureRipReadsTheDiscInOneRunWhateverTheEncoders) {
  // With several encoders the reader could move on to the next track while one's encoder catches
  // up; paranoia would start afresh at every such jump and read its overlap again.
  std::map<int, long> sectors;
  for (const int jobs : {1, 4}) {
    const std::string folder = "jobs" + std::to_string(jobs);
    std::filesystem::create_directories(m_dir / folder);
    fixtures::ChildOptions options;
    options.args = {KORVI_CLI_PATH, "rip",    kDrive, "--format", "wav", "--out", (m_dir / folder).string(),
                    "--mode",       "secure", "--jobs", std::to_string(jobs), "--no-verify"};
    options.env = fixtures::FakeDriveEnv(kDrive + "=" + m_image.cue.string(), m_dir / "home");
    options.env.push_back("KORVI_FAKE_DRIVE_STATS=" + (m_dir / folder / "drive.stats").string());
    const fixtures::ChildResult rip = fixtures::RunChild(options, fixtures::Scaled(std::chrono::seconds(120)));
    ASSERT_EQ(rip.status, 0) << rip.err;
    std::smatch match;
    const std::string stats = fixtures::FileText(m_dir / folder / "drive.stats");
    ASSERT_TRUE(std::regex_search(stats, match, std::regex(R"( sectors (\d+))"))) << stats;
    sectors[jobs] = std::stol(match[1]);
  }
  EXPECT_EQ(sectors[4], sectors[1]);
}

}  // namespace
}  // namespace korvi
