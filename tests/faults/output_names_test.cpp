// What sits at a track's name before a rip: a link that leads out of the output folder (dangling
// or to a file), a named pipe, a folder. Whatever --on-exists says, nothing outside the folder
// changes, nothing is written through or blocks on the name, and the track fails with its cause;
// what a killed rip left there long ago is removed.
// And two rips of one disc into one folder at once: every file under its final name is whole.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "faults/fault_support.h"
#include "fixtures/time_scale.h"

namespace korvi::faults {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

class SpecialNames : public ::testing::TestWithParam<const char*> {};

TEST_P(SpecialNames, NothingOutsideChangesAndEachTrackFailsWithItsCause) {
  RipScene scene;
  ASSERT_TRUE(scene.Ready());
  const fs::path victim = scene.Root() / "victim.wav";
  std::ofstream(victim) << "not to be replaced";
  const std::string track1 = scene.FileName(scene.Out(), 1, kWav);
  const std::string track2 = scene.FileName(scene.Out(), 2, kWav);
  const std::string track3 = scene.FileName(scene.Out(), 3, kWav);
  fs::create_symlink("../elsewhere.wav", track1);
  fs::create_symlink(victim, track2);
  ASSERT_EQ(::mkfifo(track3.c_str(), 0644), 0);
  // What a rip killed two days ago left, and what one that runs now is writing.
  const fs::path stale = scene.Out() / ".Old.wav.korvi-AbC123";
  const fs::path young = scene.Out() / ".Young.wav.korvi-XyZ789";
  std::ofstream(stale) << "left";
  std::ofstream(young) << "in flight";
  fs::last_write_time(stale, fs::file_time_type::clock::now() - std::chrono::hours(48));
  std::set<std::string> before = scene.FilesOutsideHome();

  // Nobody ever opens the pipe's other end: a program that opened it would wait for good.
  ChildProcess cli;
  ASSERT_TRUE(cli.Start(scene.Rip(kWav, scene.Out(), {"--on-exists", GetParam()})));
  const ChildResult result = cli.Finish(fixtures::Scaled(120s));
  ASSERT_TRUE(result.exited) << "killed by signal " << result.termSignal << "\n" << result.err;
  EXPECT_EQ(result.status, 1) << result.err;
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err.find("overwrite?"), std::string::npos) << "asked about what is not a file";
  const std::pair<std::string, const char*> causes[] = {{track1, "is a symbolic link"},
                                                        {track2, "is a symbolic link"},
                                                        {track3, "is a named pipe (FIFO), not a regular file"}};
  for (const auto& [path, cause] : causes) {
    const auto lines = LinesNaming(result.err, path);
    ASSERT_EQ(lines.size(), 1u) << result.err;
    EXPECT_NE(lines[0].find(cause), std::string::npos) << lines[0];
  }
  before.erase("out/" + stale.filename().string());
  EXPECT_EQ(scene.FilesOutsideHome(), before);
  EXPECT_EQ(ReadFileBytes(victim), "not to be replaced");
  EXPECT_FALSE(fs::exists(scene.Root() / "elsewhere.wav"));
  EXPECT_TRUE(fs::is_fifo(track3));
}

INSTANTIATE_TEST_SUITE_P(OnExists, SpecialNames, ::testing::Values("ask", "overwrite", "skip"));

TEST(FolderAtATracksName, TheTrackFailsAndTheFolderKeepsWhatItHolds) {
  RipScene scene;
  ASSERT_TRUE(scene.Ready());
  const fs::path track2 = scene.FileName(scene.Out(), 2, kFlac);
  fs::create_directory(track2);
  std::ofstream(track2 / "kept") << "kept";
  ChildProcess cli;
  ASSERT_TRUE(cli.Start(scene.Rip(kFlac, scene.Out(), {"--on-exists", "overwrite"})));
  const ChildResult result = cli.Finish(fixtures::Scaled(120s));
  ASSERT_TRUE(result.exited) << result.err;
  EXPECT_EQ(result.status, 1);
  const auto lines = LinesNaming(result.err, track2.string());
  ASSERT_EQ(lines.size(), 1u) << result.err;
  EXPECT_NE(lines[0].find("is a folder"), std::string::npos) << lines[0];
  EXPECT_EQ(ReadFileBytes(track2 / "kept"), "kept");
  for (int track : {1, 3})
    EXPECT_EQ(CheckRippedFile(scene.FileName(scene.Out(), track, kFlac), kFlac, scene.TrackBytes(track)), "");
}

class ConcurrentRips : public ::testing::TestWithParam<FormatCase> {};

// Two rips of one disc into one folder, started together, 20 times: both end well, and every
// file under its final name is whole (whichever rip finished it last); no temporary is left.
TEST_P(ConcurrentRips, EveryFinalFileIsWhole) {
  const FormatCase& format = GetParam();
  RipScene scene(150);
  ASSERT_TRUE(scene.Ready());
  for (int round = 0; round < 20; ++round) {
    ChildProcess first, second;
    ASSERT_TRUE(first.Start(scene.Rip(format, scene.Out(), {"--on-exists", "overwrite"})));
    ASSERT_TRUE(second.Start(scene.Rip(format, scene.Out(), {"--on-exists", "overwrite"})));
    for (ChildProcess* cli : {&first, &second}) {
      const ChildResult result = cli->Finish(fixtures::Scaled(120s));
      ASSERT_TRUE(result.exited && result.status == 0) << "round " << round << ": " << result.err;
    }
    for (int track = 1; track <= 3; ++track)
      ASSERT_EQ(CheckRippedFile(scene.FileName(scene.Out(), track, format), format, scene.TrackBytes(track)), "")
          << "round " << round;
    ASSERT_EQ(std::distance(fs::directory_iterator(scene.Out()), {}), 3) << "round " << round;
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, ConcurrentRips, ::testing::Values(kWav, kMp3, kApe, kFlac, kOpus),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace korvi::faults
