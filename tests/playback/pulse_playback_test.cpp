// Playing through a real PulseAudio server that the test starts with a pipe sink: what the sink
// plays equals the disc's sectors, Play while playing and Stop then Play, and a server that is
// missing or goes away.

#include <gtest/gtest.h>

#include "disc/cd_device.h"
#include "fixtures/disc_image_writer.h"
#include "fixtures/time_scale.h"
#include "playback/message_loop.h"
#include "playback/play_control.h"
#include "playback/pulse_audio_device.h"
#include "playback/pulse_server.h"
#include "play_messages.h"

namespace korvi {
namespace {

using namespace std::chrono_literals;

constexpr size_t kSectorBytes = 2352;

std::vector<uint8_t> Sound(const std::vector<uint8_t>& pcm) {
  return fixtures::WithoutSilentFrames(pcm.data(), pcm.size());
}

class PulsePlaybackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_server.error().empty()) << m_server.error();
    // Short tracks: the sink plays in real time.
    fixtures::ImageLayout layout = fixtures::AllAudioLayout(3, 150, 7);
    layout.tracks[0].sectors = 900;
    ASSERT_TRUE(fixtures::WriteCueBinImage(m_server.dir() / "disc.cue", layout, &m_image, nullptr));
    m_disc = CdDevice::Open(m_image.cue.string());
    ASSERT_TRUE(m_disc);
  }
  void TearDown() override {
    if (!m_control) return;
    m_control->OnPlayStop();
    m_loop.RunUntil([this] { return !m_control->IsBusy(); }, fixtures::Scaled(20s));
  }

  void MakeControl(const std::string& server) {
    PulseDeviceOptions options;
    options.server = server;
    m_control = std::make_unique<PlayControl>(m_loop, *m_disc, MakePulseAudioDevice(options));
    m_control->Player().setIdleNotify([this] { m_loop.Wake(); });
    m_control->onError = [this](const std::string& message, const std::string& cause) {
      m_errors.push_back(message);
      m_causes.push_back(cause);
    };
  }
  int32_t Begin(int track) const { return m_image.starts[size_t(track - 1)]; }
  int32_t End(int track) const {
    return size_t(track) < m_image.starts.size() ? m_image.starts[size_t(track)] - 1 : m_image.leadOut - 1;
  }
  intptr_t PlayTrack(int track) {
    return m_control->Play(Begin(track), End(track), "Track " + std::to_string(track));
  }
  bool RunUntilOver() {
    return m_loop.RunUntil([this] { return !m_control->IsPlaying() && !m_control->IsBusy(); }, fixtures::Scaled(30s));
  }

  fixtures::PulseServer m_server;
  fixtures::WrittenImage m_image;
  std::unique_ptr<CdDevice> m_disc;
  std::vector<std::string> m_errors;
  std::vector<std::string> m_causes;
  // The frame's part: what it does with each message (to the control made below).
  fixtures::PlayMessages m_messages{m_control};
  std::vector<std::string>& m_texts = m_messages.texts;
  std::function<void()>& m_afterText = m_messages.afterText;
  MessageLoop m_loop{m_messages.Handler()};
  std::unique_ptr<PlayControl> m_control;
};

TEST_F(PulsePlaybackTest, TheSinkPlaysTheWholeTrackAsTheDiscHoldsIt) {
  MakeControl(m_server.address());
  ASSERT_EQ(PlayTrack(2), 0) << (m_causes.empty() ? "" : m_causes[0]);
  EXPECT_TRUE(m_control->IsPlaying());
  ASSERT_TRUE(RunUntilOver());
  const auto expected = Sound(fixtures::ReadBinSectors(m_image.bin, Begin(2), End(2)));
  ASSERT_GT(expected.size(), 149 * kSectorBytes);  // almost no frame of the music is all zero
  EXPECT_TRUE(m_server.WaitForSound(expected.size(), fixtures::Scaled(10s)));
  EXPECT_EQ(m_server.Sound(), expected);
  ASSERT_FALSE(m_texts.empty());
  EXPECT_EQ(m_texts.back(), "0:0:1(Track 2)");  // 150 sectors: (150 − 1) / 75 s, as its Length
  EXPECT_TRUE(m_errors.empty());
}

TEST_F(PulsePlaybackTest, PlayWhilePlayingIsRefusedAndStopThenPlayStartsTheNextTrack) {
  MakeControl(m_server.address());
  ASSERT_EQ(PlayTrack(1), 0);
  // Stop when the second block has finished; Play at once, while the third still plays.
  m_afterText = [&] {
    if (m_texts.size() != 2) return;
    EXPECT_EQ(PlayTrack(3), -1);
    m_control->OnPlayStop();
    EXPECT_EQ(PlayTrack(3), 0);
  };
  ASSERT_TRUE(RunUntilOver());
  // Three chunks of track 1 (two finished, one still at the device at Stop), then all of track 3.
  auto expected =
      Sound(fixtures::ReadBinSectors(m_image.bin, Begin(1), Begin(1) + 3 * kPlayChunkSectors - 1));
  const auto third = Sound(fixtures::ReadBinSectors(m_image.bin, Begin(3), End(3)));
  expected.insert(expected.end(), third.begin(), third.end());
  EXPECT_TRUE(m_server.WaitForSound(expected.size(), fixtures::Scaled(10s)));
  EXPECT_EQ(m_server.Sound(), expected);
  EXPECT_EQ(m_texts.back(), "0:0:1(Track 3)");
}

TEST_F(PulsePlaybackTest, WithoutAServerPlayTellsTheUserAndDoesNotPlay) {
  MakeControl("unix:" + (m_server.dir() / "nobody-listens-here").string());
  EXPECT_EQ(PlayTrack(2), -1);
  EXPECT_FALSE(m_control->IsPlaying());
  ASSERT_EQ(m_errors.size(), 1u);
  EXPECT_EQ(m_errors[0], kNoSoundOutputMessage);
  EXPECT_FALSE(m_causes[0].empty());
  EXPECT_TRUE(m_texts.empty());
}

TEST_F(PulsePlaybackTest, AServerThatGoesAwayEndsThePlayWithOneMessage) {
  MakeControl(m_server.address());
  ASSERT_EQ(PlayTrack(1), 0);
  m_afterText = [&] {
    if (m_texts.size() == 1) m_server.Kill();
  };
  ASSERT_TRUE(RunUntilOver());
  ASSERT_EQ(m_errors.size(), 1u) << "the play should have broken off";
  EXPECT_EQ(m_errors[0], kNoSoundOutputMessage);
  EXPECT_LT(m_texts.size(), 10u);
  // The next Play finds no server and says so again.
  EXPECT_EQ(PlayTrack(2), -1);
  EXPECT_EQ(m_errors.size(), 2u);
}

}  // namespace
}  // namespace korvi
