// The play control behind the window's messenger (Qt's event loop, sends from the device's thread
// blocking until the GUI thread has served them), and the window's way of closing right after Stop
// while blocks are still at the device: serve events until the player is idle, then destroy it.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QObject>
#include <QTimer>
#include <fstream>

#include "app/qt_messenger.h"
#include "disc/cd_device.h"
#include "fixtures/disc_image_writer.h"
#include "fixtures/time_scale.h"
#include "playback/play_control.h"
#include "playback/pulse_audio_device.h"
#include "playback/pulse_server.h"
#include "play_messages.h"

namespace korvi {
namespace {

using namespace std::chrono_literals;

constexpr size_t kSectorBytes = 2352;

TEST(QtPlayback, TheWindowsMessengerFeedsThePlayAndClosingAfterStopDoesNotHang) {
  fixtures::PulseServer server;
  ASSERT_TRUE(server.error().empty()) << server.error();
  fixtures::WrittenImage image;
  ASSERT_TRUE(fixtures::WriteCueBinImage(server.dir() / "disc.cue", fixtures::AllAudioLayout(1, 600, 5),
                                         &image, nullptr));
  std::unique_ptr<CdDevice> disc = CdDevice::Open(image.cue.string());
  ASSERT_TRUE(disc);

  int argc = 1;
  char name[] = "qt_playback_tests";
  char* argv[] = {name, nullptr};
  QCoreApplication app(argc, argv);
  QObject frame;
  QEventLoop loop;
  std::unique_ptr<PlayControl> play;
  fixtures::PlayMessages messages(play);
  const std::vector<std::string>& texts = messages.texts;
  messages.afterText = [&] {
    if (texts.size() != 3) return;
    // The user stops and closes the window at once.
    play->OnPlayStop();
    loop.quit();
  };
  QtFrameMessenger messenger(&frame, messages.Handler());
  PulseDeviceOptions options;
  options.server = server.address();
  play = std::make_unique<PlayControl>(messenger, *disc, MakePulseAudioDevice(options));

  ASSERT_EQ(play->Play(image.starts[0], image.leadOut - 1, "Track 1"), 0);
  QTimer::singleShot(fixtures::ScaledMs(20000), &loop, &QEventLoop::quit);
  loop.exec();
  ASSERT_EQ(texts.size(), 3u);
  EXPECT_EQ(texts.back(), "0:0:1(Track 1)");  // 120 sectors read

  EXPECT_FALSE(play->IsPlaying());
  EXPECT_TRUE(play->IsBusy());
  while (play->IsBusy()) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  play.reset();

  std::ifstream in(image.bin, std::ios::binary);
  std::vector<uint8_t> track((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const auto expected = fixtures::WithoutSilentFrames(track.data(), track.size());
  // Four blocks went to the device: three had finished at Stop, the fourth played out after it.
  const auto heard = fixtures::WithoutSilentFrames(track.data(), 4 * 20 * kSectorBytes);
  EXPECT_TRUE(server.WaitForSound(heard.size(), 10s * fixtures::TimeScale()));
  EXPECT_EQ(server.Sound(), heard);
  EXPECT_LT(heard.size(), expected.size());
}

}  // namespace
}  // namespace korvi
