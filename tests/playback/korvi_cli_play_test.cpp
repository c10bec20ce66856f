// korvi-cli play against a PulseAudio server that the test starts: the sink plays the track, the
// position goes to stderr, Ctrl+C stops it cleanly, and failures exit as documented.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <iterator>

#include "fixtures/disc_image_writer.h"
#include "fixtures/time_scale.h"
#include "fixtures/temp_dir.h"
#include "playback/pulse_server.h"

extern char** environ;

namespace korvi {
namespace {

using namespace std::chrono_literals;
using fixtures::RunCommand;
using fixtures::ShellQuote;

constexpr size_t kSectorBytes = 2352;

std::vector<uint8_t> BinSound(const std::filesystem::path& bin, int32_t first, int32_t last) {
  const std::vector<uint8_t> bytes = fixtures::ReadBinSectors(bin, first, last);
  return fixtures::WithoutSilentFrames(bytes.data(), bytes.size());
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t from = 0;
  for (size_t to; (to = text.find('\n', from)) != std::string::npos; from = to + 1)
    lines.push_back(text.substr(from, to - from));
  return lines;
}

class KorviCliPlayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_server.error().empty()) << m_server.error();
    fixtures::ImageLayout layout = fixtures::AllAudioLayout(3, 190, 3);
    layout.tracks[2].sectors = 40;  // too short to play
    ASSERT_TRUE(fixtures::WriteCueBinImage(m_server.dir() / "disc.cue", layout, &m_image, nullptr));
  }
  std::string Cli(const std::string& server, const std::string& args) const {
    return "PULSE_SERVER=" + ShellQuote(server) + " " + ShellQuote(KORVI_CLI_PATH) + " " + args + " 2>&1";
  }
  std::string Cue() const { return ShellQuote(m_image.cue.string()); }

  fixtures::PulseServer m_server;
  fixtures::WrittenImage m_image;
};

TEST_F(KorviCliPlayTest, PlaysTheTrackWithItsPositionOnStderr) {
  const auto result = RunCommand(Cli(m_server.address(), "play " + Cue() + " 2"));
  ASSERT_EQ(result.status, 0) << result.out;
  EXPECT_EQ(Lines(result.out), (std::vector<std::string>{"0:0:1(Track 2)", "0:0:2(Track 2)"}));
  const auto expected = BinSound(m_image.bin, m_image.starts[1], m_image.starts[2] - 1);
  EXPECT_TRUE(m_server.WaitForSound(expected.size(), fixtures::Scaled(10s)));
  EXPECT_EQ(m_server.Sound(), expected);
}

TEST_F(KorviCliPlayTest, CtrlCStopsThePlayCleanly) {
  // Track 1 lasts 2.5 s; Ctrl+C comes as soon as the sink plays.
  const std::filesystem::path log = m_server.dir() / "cli.log";
  std::vector<std::string> args = {KORVI_CLI_PATH, "play", m_image.cue.string(), "1"};
  std::vector<std::string> env = {"PULSE_SERVER=" + m_server.address()};
  for (char** entry = environ; *entry; ++entry)
    if (std::string(*entry).rfind("PULSE_SERVER=", 0) != 0) env.emplace_back(*entry);
  std::vector<char*> argv, envp;
  for (auto& a : args) argv.push_back(a.data());
  for (auto& e : env) envp.push_back(e.data());
  argv.push_back(nullptr);
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 2, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  pid_t pid = -1;
  ASSERT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()), 0);
  posix_spawn_file_actions_destroy(&actions);

  const bool sounding = m_server.WaitForSound(4 * kSectorBytes, fixtures::Scaled(10s));
  kill(pid, SIGINT);
  int status = -1;
  for (int waited = 0; waited < 1000 && waitpid(pid, &status, WNOHANG) == 0; ++waited) poll(nullptr, 0, 10);
  if (waitpid(pid, nullptr, WNOHANG) == 0) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    FAIL() << "korvi-cli did not stop on Ctrl+C";
  }
  ASSERT_TRUE(sounding);
  ASSERT_TRUE(WIFEXITED(status)) << "killed by the signal instead of stopping";
  EXPECT_EQ(WEXITSTATUS(status), 0);
  // What was heard is the track's beginning, in whole blocks, and not all of it.
  const auto track = BinSound(m_image.bin, m_image.starts[0], m_image.starts[1] - 1);
  const auto heard = m_server.Sound();
  ASSERT_LT(heard.size(), track.size());
  EXPECT_TRUE(std::equal(heard.begin(), heard.end(), track.begin()));
}

TEST_F(KorviCliPlayTest, FailuresAndUsageErrors) {
  const std::string nobody = "unix:" + (m_server.dir() / "nobody").string();
  auto result = RunCommand(Cli(nobody, "play " + Cue() + " 1"));
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.out.find("No sound output device is available."), std::string::npos) << result.out;

  result = RunCommand(Cli(m_server.address(), "play " + Cue() + " 3"));
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.out.find("too short"), std::string::npos) << result.out;

  result = RunCommand(
      Cli(m_server.address(), "play " + ShellQuote((m_server.dir() / "none.cue").string()) + " 1"));
  EXPECT_EQ(result.status, 1) << result.out;

  for (const std::string& args :
       std::vector<std::string>{"play", "play " + Cue(), "play " + Cue() + " 0", "play " + Cue() + " x",
                                "play " + Cue() + " 4", "play " + Cue() + " 1 2"}) {
    result = RunCommand(Cli(m_server.address(), args));
    EXPECT_EQ(result.status, 2) << args << "\n" << result.out;
  }
  EXPECT_TRUE(m_server.Sound().empty());
}

}  // namespace
}  // namespace korvi
