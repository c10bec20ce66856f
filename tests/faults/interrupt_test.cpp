// Ctrl+C (SIGINT) or SIGTERM during `korvi-cli rip` stops the job as the window's Cancel does:
// the file being written is closed as a valid, shorter file, no later track is started, an old
// file is never overwritten after the stop, and the tool says so and exits 1.

#include <gtest/gtest.h>
#include <signal.h>

#include <cstring>
#include <fstream>
#include <thread>

#include "faults/fault_support.h"
#include "fixtures/time_scale.h"

namespace korvi::faults {
namespace {

using namespace std::chrono_literals;

struct StopCase {
  FormatCase format;
  int signal;
};

void PrintTo(const StopCase& c, std::ostream* out) { *out << c.format.name << ", signal " << c.signal; }

// Whether the WAV file's header agrees with its size and its audio is the start of the track.
std::string CheckWavPrefix(const std::filesystem::path& file, const std::string& trackBytes) {
  const std::string bytes = ReadFileBytes(file);
  if (bytes.size() < 44) return "shorter than a WAV header";
  uint32_t riff = 0;
  uint32_t data = 0;
  std::memcpy(&riff, bytes.data() + 4, 4);
  std::memcpy(&data, bytes.data() + 40, 4);
  if (riff != bytes.size() - 8 || data != bytes.size() - 44)
    return "the header's sizes do not match the file";
  if (trackBytes.compare(0, data, bytes, 44, data) != 0) return "the audio is not the start of the track";
  return "";
}

class StopDuringARip : public ::testing::TestWithParam<StopCase> {};

// The stop comes as soon as the file of the two-minute middle track is begun, long before that
// track can be finished. One encoder: track 1 is whole by then.
TEST_P(StopDuringARip, TheFileBeingWrittenStaysValidAndNoLaterTrackStarts) {
  const auto& [format, signal] = GetParam();
  RipScene scene(9000);
  ASSERT_TRUE(scene.Ready());
  const std::filesystem::path track2 = scene.FileName(scene.Out(), 2, format);
  const std::filesystem::path track3 = scene.FileName(scene.Out(), 3, format);

  ChildProcess cli;
  ASSERT_TRUE(cli.Start(scene.Rip(format, scene.Out(), {"--on-exists", "overwrite", "--jobs", "1"})));
  const auto deadline = std::chrono::steady_clock::now() + 120s;
  while (!IsBeingWritten(track2) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(1ms);
  ASSERT_TRUE(IsBeingWritten(track2)) << cli.Finish(fixtures::Scaled(1s)).err;
  ASSERT_EQ(::kill(cli.Pid(), signal), 0);
  const ChildResult result = cli.Finish(fixtures::Scaled(120s));

  ASSERT_TRUE(result.exited) << "ended by signal " << result.status << "\n" << result.err;
  EXPECT_EQ(result.status, 1) << result.err;
  EXPECT_NE(result.err.find("korvi-cli: stopping;"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("korvi-cli: the rip was stopped"), std::string::npos) << result.err;
  EXPECT_FALSE(std::filesystem::exists(track3));
  EXPECT_FALSE(IsBeingWritten(track2)) << "a temporary file is left behind";
  EXPECT_EQ(result.out, scene.FileName(scene.Out(), 1, format) + "\n" + track2.string() + "\n");
  EXPECT_EQ(CheckRippedFile(scene.FileName(scene.Out(), 1, format), format, scene.TrackBytes(1)), "");
  if (format.name == "wav") {
    EXPECT_EQ(CheckWavPrefix(track2, scene.TrackBytes(2)), "");
    EXPECT_LT(std::filesystem::file_size(track2), 44 + scene.TrackBytes(2).size())
        << "not stopped within the track";
  } else if (format.name == "flac") {
    // Closed early, the file is whole in itself: its header's length, seek points and MD5 sum are
    // those of the audio it holds, which is the start of the track.
    EXPECT_TRUE(FlacTestPasses(track2));
    // The seek points past the stop are placeholders, not points at frames that were never written.
    const auto seekTable = fixtures::RunCommand("metaflac --list --block-type=SEEKTABLE " +
                                                fixtures::ShellQuote(track2.string()));
    EXPECT_NE(seekTable.out.find("PLACEHOLDER"), std::string::npos) << seekTable.out;
    EXPECT_EQ(seekTable.out.find("frame_samples=0"), std::string::npos) << seekTable.out;
    const std::optional<std::string> pcm = DecodePcm(track2);
    ASSERT_TRUE(pcm.has_value()) << "FFmpeg cannot decode " << track2;
    EXPECT_LT(pcm->size(), scene.TrackBytes(2).size()) << "not stopped within the track";
    EXPECT_EQ(scene.TrackBytes(2).compare(0, pcm->size(), *pcm), 0)
        << "the audio is not the start of the track";
  } else
    EXPECT_TRUE(DecodePcm(track2).has_value()) << "FFmpeg cannot decode " << track2;
}

INSTANTIATE_TEST_SUITE_P(Formats, StopDuringARip,
                         ::testing::Values(StopCase{kWav, SIGINT}, StopCase{kMp3, SIGINT},
                                           StopCase{kApe, SIGTERM}, StopCase{kFlac, SIGINT},
                                           StopCase{kOpus, SIGTERM}));

// Ctrl+C while the tool asks whether to overwrite: a "yes" typed after the stop does not destroy
// the old file.
TEST(StopAtTheOverwriteQuestion, TheOldFileIsKeptAndTheJobEnds) {
  RipScene scene;
  ASSERT_TRUE(scene.Ready());
  const std::string track2 = scene.FileName(scene.Out(), 2, kWav);
  std::ofstream(track2) << "old";

  ChildProcess cli;
  ChildOptions options = scene.Rip(kWav, scene.Out(), {"--on-exists", "ask"});
  options.pipeStdin = true;
  ASSERT_TRUE(cli.Start(options));
  ASSERT_TRUE(cli.WaitForErr("already exists, overwrite?", fixtures::Scaled(120s))) << cli.Finish(fixtures::Scaled(1s)).err;
  ASSERT_EQ(::kill(cli.Pid(), SIGINT), 0);
  ASSERT_TRUE(cli.WaitForErr("korvi-cli: stopping;", fixtures::Scaled(60s))) << cli.Finish(fixtures::Scaled(1s)).err;
  cli.WriteStdin("y\n");
  const ChildResult result = cli.Finish(fixtures::Scaled(120s));

  ASSERT_TRUE(result.exited) << "ended by signal " << result.status << "\n" << result.err;
  EXPECT_EQ(result.status, 1) << result.err;
  EXPECT_EQ(ReadFileBytes(track2), "old");
  EXPECT_FALSE(std::filesystem::exists(scene.FileName(scene.Out(), 3, kWav)));
  EXPECT_EQ(result.out, scene.FileName(scene.Out(), 1, kWav) + "\n");
}

// A second Ctrl+C ends the tool at once, by the signal, as a user who insists expects.
TEST(StopAtTheOverwriteQuestion, ASecondCtrlCEndsTheToolAtOnce) {
  RipScene scene;
  ASSERT_TRUE(scene.Ready());
  std::ofstream(scene.FileName(scene.Out(), 2, kWav)) << "old";

  ChildProcess cli;
  ChildOptions options = scene.Rip(kWav, scene.Out(), {"--on-exists", "ask"});
  options.pipeStdin = true;
  ASSERT_TRUE(cli.Start(options));
  ASSERT_TRUE(cli.WaitForErr("already exists, overwrite?", fixtures::Scaled(120s))) << cli.Finish(fixtures::Scaled(1s)).err;
  ASSERT_EQ(::kill(cli.Pid(), SIGINT), 0);
  ASSERT_TRUE(cli.WaitForErr("korvi-cli: stopping;", fixtures::Scaled(60s))) << cli.Finish(fixtures::Scaled(1s)).err;
  ASSERT_EQ(::kill(cli.Pid(), SIGINT), 0);
  const ChildResult result = cli.Finish(fixtures::Scaled(60s));

  EXPECT_FALSE(result.exited) << result.err;
  EXPECT_EQ(result.status, SIGINT);
  EXPECT_EQ(ReadFileBytes(scene.FileName(scene.Out(), 2, kWav)), "old");
}

}  // namespace
}  // namespace korvi::faults
