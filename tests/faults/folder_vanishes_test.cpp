// The output folder goes away while a rip runs: removed, or renamed away by the user. The job
// goes on with the remaining tracks, names every file that failed, exits 1, and creates nothing
// anywhere else. korvi-cli's overwrite question is the pause between two tracks; a progress hook of
// the rip job is the moment in the middle of one.

#include <gtest/gtest.h>

#include <fstream>
#include <functional>

#include "disc/cd_device.h"
#include "faults/fault_support.h"
#include "fixtures/time_scale.h"
#include "messages/messenger.h"
#include "rip/rip_job.h"

namespace korvi::faults {
namespace {

using namespace std::chrono_literals;

enum class Vanish { Removed, Renamed };

struct VanishCase {
  FormatCase format;
  Vanish how;
};

std::string CaseName(const ::testing::TestParamInfo<VanishCase>& info) {
  return info.param.format.name + (info.param.how == Vanish::Removed ? "Removed" : "Renamed");
}

void PrintTo(const VanishCase& c, std::ostream* out) {
  *out << c.format.name << (c.how == Vanish::Removed ? ", folder removed" : ", folder renamed");
}

void MakeVanish(const std::filesystem::path& folder, const std::filesystem::path& movedTo, Vanish how) {
  if (how == Vanish::Removed)
    std::filesystem::remove_all(folder);
  else
    std::filesystem::rename(folder, movedTo);
}

class FolderVanishesBetweenTracks : public ::testing::TestWithParam<VanishCase> {};

TEST_P(FolderVanishesBetweenTracks, TheLaterTracksFailByNameAndNothingLandsElsewhere) {
  const auto& [format, how] = GetParam();
  RipScene scene;
  ASSERT_TRUE(scene.Ready());
  const std::filesystem::path moved = scene.Root() / "moved";
  const std::string track1 = scene.FileName(scene.Out(), 1, format);
  const std::string track2 = scene.FileName(scene.Out(), 2, format);
  const std::string track3 = scene.FileName(scene.Out(), 3, format);
  // An older track 2: the tool asks about it once track 1 is finished, and waits for the answer.
  // One encoder, so that track 1 is finished then.
  std::ofstream(track2) << "old";

  ChildProcess cli;
  ChildOptions options = scene.Rip(format, scene.Out(), {"--on-exists", "ask", "--jobs", "1"});
  options.pipeStdin = true;
  ASSERT_TRUE(cli.Start(options));
  ASSERT_TRUE(cli.WaitForErr("already exists, overwrite?", fixtures::Scaled(120s))) << cli.Finish(fixtures::Scaled(1s)).err;
  MakeVanish(scene.Out(), moved, how);
  cli.WriteStdin("y\n");
  const ChildResult result = cli.Finish(fixtures::Scaled(120s));

  ASSERT_TRUE(result.exited) << "ended by signal " << result.status << "\n" << result.err;
  EXPECT_EQ(result.status, 1) << result.err;
  EXPECT_EQ(result.out, track1 + "\n");
  for (const std::string& failed : {track2, track3}) {
    const auto lines = LinesNaming(result.err, failed);
    ASSERT_EQ(lines.size(), 1u) << result.err;
    EXPECT_NE(lines[0].find("No such file or directory"), std::string::npos) << lines[0];
  }
  EXPECT_FALSE(std::filesystem::exists(scene.Out()));

  std::set<std::string> expected = {"disc.cue", "disc.bin"};
  if (how == Vanish::Renamed) {
    // What was finished before the folder moved is whole where the user moved it.
    const std::filesystem::path kept = scene.FileName(moved, 1, format);
    EXPECT_EQ(CheckRippedFile(kept, format, scene.TrackBytes(1)), "");
    EXPECT_EQ(ReadFileBytes(scene.FileName(moved, 2, format)), "old");
    expected.insert({"moved/Track 1" + format.extension, "moved/Track 2" + format.extension});
  }
  EXPECT_EQ(scene.FilesOutsideHome(), expected);
  EXPECT_TRUE(std::filesystem::is_empty(scene.Root() / "home" / "Music"));
}

INSTANTIATE_TEST_SUITE_P(
    Formats, FolderVanishesBetweenTracks,
    ::testing::Values(VanishCase{kWav, Vanish::Removed}, VanishCase{kWav, Vanish::Renamed},
                      VanishCase{kMp3, Vanish::Removed}, VanishCase{kMp3, Vanish::Renamed},
                      VanishCase{kApe, Vanish::Removed}, VanishCase{kApe, Vanish::Renamed}),
    CaseName);

// Calls a hook with each progress report, on the worker's thread.
class HookMessenger : public IFrameMessenger {
 public:
  std::function<void(const RipProgress&)> onProgress = [](const RipProgress&) {};
  intptr_t Send(unsigned message, uintptr_t, intptr_t lParam) override {
    if (message == WM_RIP_PROGRESS) onProgress(*reinterpret_cast<const RipProgress*>(lParam));
    return 0;
  }
  void Post(unsigned, uintptr_t, intptr_t) override {}
};

class FolderVanishesWithinATrack : public ::testing::TestWithParam<VanishCase> {};

// The file being written when the folder goes is no longer where the job would say it wrote it:
// it is reported as failed, not as written.
TEST_P(FolderVanishesWithinATrack, TheOpenFileAndTheLaterOnesAreReportedAsFailed) {
  const auto& [format, how] = GetParam();
  RipScene scene;
  ASSERT_TRUE(scene.Ready());
  std::unique_ptr<CdDevice> disc = CdDevice::Open(scene.Image().cue.string());
  ASSERT_TRUE(disc);
  const std::filesystem::path moved = scene.Root() / "moved";

  HookMessenger messenger;
  const int32_t track2Sectors = scene.End(2) - scene.Begin(2);
  messenger.onProgress = [&](const RipProgress& p) {
    if (p.trackSectors == track2Sectors && p.sectorIndex == 100) MakeVanish(scene.Out(), moved, how);
  };
  RipJob job(messenger, *disc);
  std::vector<RipTrack> tracks;
  for (int n = 1; n <= 3; ++n) tracks.push_back({CTrackInfo(scene.Begin(n), scene.End(n), ""), n});
  RipSettings settings;
  settings.folder = scene.Out().string();
  settings.format = format.name == "wav" ? kFormatWave : kFormatApe;
  settings.replacePrompt = false;
  settings.encoderJobs = 1;  // track 3 starts after the folder has gone
  ASSERT_TRUE(job.Start(tracks, settings));
  job.Join();

  const std::string track1 = scene.FileName(scene.Out(), 1, format);
  EXPECT_EQ(job.WrittenFiles(), std::vector<std::string>{track1});
  ASSERT_EQ(job.Failures().size(), 2u);
  EXPECT_EQ(job.Failures()[0].path, scene.FileName(scene.Out(), 2, format));
  EXPECT_NE(job.Failures()[0].cause.find("no longer"), std::string::npos) << job.Failures()[0].cause;
  EXPECT_EQ(job.Failures()[1].path, scene.FileName(scene.Out(), 3, format));
  EXPECT_NE(job.Failures()[1].cause.find("No such file or directory"), std::string::npos)
      << job.Failures()[1].cause;
  // Track 2 was still read to its end: the folder's loss ends no track early. Track 3, which had
  // no folder to go to, was not read at all.
  EXPECT_EQ(job.DoneSectors(), job.TotalSectors() + 2);

  std::set<std::string> expected = {"disc.cue", "disc.bin"};
  if (how == Vanish::Renamed) {
    EXPECT_EQ(CheckRippedFile(scene.FileName(moved, 1, format), format, scene.TrackBytes(1)), "");
    // Track 2 went on into its moved folder and is whole there.
    EXPECT_EQ(CheckRippedFile(scene.FileName(moved, 2, format), format, scene.TrackBytes(2)), "");
    expected.insert({"moved/Track 1" + format.extension, "moved/Track 2" + format.extension});
  }
  EXPECT_EQ(scene.FilesOutsideHome(), expected);
}

// In-process, without the MP3 encoder module beside the test; korvi-cli covers MP3 above.
INSTANTIATE_TEST_SUITE_P(Formats, FolderVanishesWithinATrack,
                         ::testing::Values(VanishCase{kWav, Vanish::Removed},
                                           VanishCase{kApe, Vanish::Renamed}),
                         CaseName);

}  // namespace
}  // namespace korvi::faults
