// korvi-cli play while its sound server dies: the tool ends on its own, says why, and exits 1.
// (The play control itself meeting a dead server is covered by the playback tests.)

#include <gtest/gtest.h>

#include "fixtures/child_process.h"
#include "fixtures/time_scale.h"
#include "fixtures/disc_image_writer.h"
#include "playback/pulse_server.h"

namespace korvi::faults {
namespace {

using namespace std::chrono_literals;
using fixtures::ChildOptions;
using fixtures::ChildProcess;
using fixtures::ChildResult;

TEST(SoundServerGoesAway, KorviCliPlayEndsWithTheMessageAndStatus1) {
  fixtures::PulseServer server;
  ASSERT_TRUE(server.error().empty()) << server.error();
  // A minute of music: a tool that waited for the track's end would outlast the wait below.
  fixtures::ImageLayout layout = fixtures::AllAudioLayout(2, 60 * 75, 5);
  fixtures::WrittenImage image;
  ASSERT_TRUE(fixtures::WriteCueBinImage(server.dir() / "disc.cue", layout, &image, nullptr));

  ChildProcess cli;
  ChildOptions options;
  options.args = {KORVI_CLI_PATH, "play", image.cue.string(), "1"};
  options.env = {"PULSE_SERVER=" + server.address()};
  ASSERT_TRUE(cli.Start(options));
  ASSERT_TRUE(server.WaitForSound(4 * 2352, fixtures::Scaled(20s))) << cli.Finish(fixtures::Scaled(1s)).err;
  server.Kill();
  const ChildResult result = cli.Finish(fixtures::Scaled(30s));
  ASSERT_TRUE(result.exited) << "signal " << result.status << "\n" << result.err;
  EXPECT_EQ(result.status, 1) << result.err;
  EXPECT_NE(result.err.find("korvi-cli: No sound output device is available."), std::string::npos)
      << result.err;
}

}  // namespace
}  // namespace korvi::faults
