// Playing from the window on a private sound server: Play and Stop, the position in the status
// bar, what the window refuses while a track plays, and a server that stops answering (SIGSTOP)
// while a track is at it or while Play connects to it.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QTimer>
#include <QTreeWidget>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <iterator>
#include <mutex>
#include <thread>

#include "app/commands.h"
#include "app/main_frame.h"
#include "fixtures/disc_image_writer.h"
#include "fixtures/time_scale.h"
#include "playback/pulse_server.h"
#include "settings/registry_store.h"
#include "ui/child_view.h"
#include "ui/prompts.h"
#include "ui/track_list_rows.h"

namespace korvi {
namespace {

using namespace std::chrono_literals;
using fixtures::ScaledMs;

// Serves the event loop until the condition holds or the time is up.
bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 10000) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ScaledMs(timeoutMs));
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

// Continues a frozen server after a while, so that an exit that waits for the server ends late
// (and fails the bound) instead of never.
class ThawLater {
 public:
  ThawLater(fixtures::PulseServer& server, std::chrono::milliseconds after)
      : m_thread([this, &server, after] {
          std::unique_lock lock(m_mutex);
          if (!m_done.wait_for(lock, after, [this] { return m_cancelled; })) server.Thaw();
        }) {}
  ~ThawLater() {
    {
      std::lock_guard lock(m_mutex);
      m_cancelled = true;
    }
    m_done.notify_all();
    m_thread.join();
  }
  ThawLater(const ThawLater&) = delete;
  ThawLater& operator=(const ThawLater&) = delete;

 private:
  std::mutex m_mutex;
  std::condition_variable m_done;
  bool m_cancelled = false;
  std::thread m_thread;
};

class FramePlaybackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_server.error().empty()) << m_server.error();
    setenv("PULSE_SERVER", m_server.address().c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    fixtures::WrittenImage image;
    ASSERT_TRUE(fixtures::WriteCueBinImage(m_server.dir() / "disc.cue", fixtures::AllAudioLayout(2, 600, 3),
                                           &image, nullptr));
    setenv("KORVI_CD_IMAGES", image.cue.c_str(), 1);
    m_app = std::make_unique<QApplication>(m_argc, m_argv);
    Prompts::Install(&m_prompts);
    m_frame = std::make_unique<CMainFrame>(m_folders);
    m_frame->Settings().GetDiscInfoAutomatically = false;
    ASSERT_TRUE(m_frame->Create());
    m_frame->show();
    m_frame->View()->TrackList()->topLevelItem(1)->setSelected(true);
    m_frame->UpdateCommandUI();
  }
  void TearDown() override {
    m_frame.reset();
    Prompts::Install(nullptr);
  }

  // Destroys the window as the program's exit does; false when that took longer than a bound
  // that only a wait for the frozen server could pass (the server is thawed later still).
  bool DestroyFrameWhileTheServerIsFrozen() {
    ThawLater thaw(m_server, std::chrono::milliseconds(ScaledMs(20000)));
    const auto start = std::chrono::steady_clock::now();
    m_frame.reset();
    return std::chrono::steady_clock::now() - start < std::chrono::milliseconds(ScaledMs(10000));
  }
  std::string SettingsFile() const {
    std::ifstream in(m_folders.config + "/" + std::string(RegistryStore::kFileName));
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  fixtures::PulseServer m_server;
  UserFolders m_folders{(m_server.dir() / "Music").string(), (m_server.dir() / "data").string(),
                        (m_server.dir() / "config").string()};
  int m_argc = 1;
  char m_name[24] = "frame_playback_tests";
  char* m_argv[2] = {m_name, nullptr};
  std::unique_ptr<QApplication> m_app;
  ScriptedPrompts m_prompts;
  std::unique_ptr<CMainFrame> m_frame;
};

TEST_F(FramePlaybackTest, PlayStopAndTheRefusalsWhilePlaying) {
  CMainFrame& frame = *m_frame;
  ScriptedPrompts& prompts = m_prompts;
  ASSERT_TRUE(frame.Action(ID_PLAY)->isEnabled());
  frame.Action(ID_PLAY)->trigger();
  ASSERT_TRUE(WaitFor([&] { return frame.IsPlaying(); }));
  ASSERT_TRUE(WaitFor([&] { return frame.StatusText().endsWith("(Track 2)"); }))
      << frame.StatusText().toStdString();

  frame.UpdateCommandUI();
  EXPECT_TRUE(frame.Action(ID_STOP)->isEnabled());
  EXPECT_FALSE(frame.Action(ID_PLAY)->isEnabled());
  EXPECT_FALSE(frame.Action(ID_RIP_WAV)->isEnabled());
  EXPECT_TRUE(frame.Action(ID_SELECT_ALL)->isEnabled());
  frame.OnCommand(ID_RIP_WAV);  // disabled: not carried out
  EXPECT_TRUE(prompts.errors.isEmpty());
  EXPECT_FALSE(frame.close());
  ASSERT_EQ(prompts.errors.size(), 1);
  EXPECT_EQ(prompts.errors[0].toStdString(), "Please stop playing before exit this application!");

  frame.Action(ID_STOP)->trigger();
  ASSERT_TRUE(WaitFor([&] { return !frame.IsPlaying(); }));
  EXPECT_TRUE(m_server.WaitForSound(2352 * 20, fixtures::Scaled(std::chrono::seconds(5))));
  EXPECT_TRUE(frame.close());
  m_frame.reset();  // the frame lets the last blocks play out before it goes
}

TEST_F(FramePlaybackTest, AServerThatStopsAnsweringDoesNotHoldTheExitAndTheSettingsAreSaved) {
  m_frame->Action(ID_PLAY)->trigger();
  // The first block has finished: the device is open and two more are at the server.
  ASSERT_TRUE(WaitFor([&] { return m_frame->StatusText().endsWith("(Track 2)"); }));
  m_frame->Settings().BPS = 256;
  m_server.Freeze();
  m_frame->Action(ID_STOP)->trigger();
  ASSERT_TRUE(WaitFor([&] { return !m_frame->IsPlaying(); }));
  EXPECT_TRUE(m_frame->Play().IsBusy());  // the blocks at the server never finish
  EXPECT_TRUE(m_frame->close());
  EXPECT_TRUE(DestroyFrameWhileTheServerIsFrozen());
  EXPECT_NE(SettingsFile().find("\"BPS\"=dword:00000100"), std::string::npos) << SettingsFile();
}

TEST_F(FramePlaybackTest, PlayConnectsToAFrozenServerWithoutFreezingTheWindow) {
  CMainFrame& frame = *m_frame;
  m_server.Freeze();
  frame.Action(ID_PLAY)->trigger();
  // A timer fires while the connection is under way: the window goes on serving its events.
  bool fired = false;
  bool connecting = false;
  bool stopEnabled = false;
  bool playEnabled = true;
  QTimer::singleShot(ScaledMs(100), &frame, [&] {
    fired = true;
    connecting = frame.IsPlaying();
    stopEnabled = frame.Action(ID_STOP)->isEnabled();
    playEnabled = frame.Action(ID_PLAY)->isEnabled();
  });
  ASSERT_TRUE(WaitFor([&] { return fired; }));
  EXPECT_TRUE(connecting);
  EXPECT_TRUE(stopEnabled);
  EXPECT_FALSE(playEnabled);
  EXPECT_FALSE(frame.close());  // as while playing
  ASSERT_EQ(m_prompts.errors.size(), 1);

  // The server does not answer in time: the user is told as when there is none.
  ASSERT_TRUE(WaitFor([&] { return m_prompts.errors.size() == 2; }, 20000));
  EXPECT_EQ(m_prompts.errors[1].toStdString(), kNoSoundOutputMessage);
  EXPECT_FALSE(frame.IsPlaying());
  EXPECT_TRUE(frame.Action(ID_PLAY)->isEnabled());

  // Stop while connecting cancels the start, without a message; the exit does not wait for the
  // connection.
  frame.Action(ID_PLAY)->trigger();
  ASSERT_TRUE(WaitFor([&] { return frame.IsPlaying(); }));
  frame.Action(ID_STOP)->trigger();
  ASSERT_TRUE(WaitFor([&] { return !frame.IsPlaying(); }));
  EXPECT_TRUE(frame.Play().IsBusy());
  EXPECT_TRUE(frame.Action(ID_PLAY)->isEnabled());
  EXPECT_TRUE(frame.close());
  EXPECT_TRUE(DestroyFrameWhileTheServerIsFrozen());
  EXPECT_EQ(m_prompts.errors.size(), 2);
  EXPECT_TRUE(m_server.Sound().empty());
}

}  // namespace
}  // namespace korvi
