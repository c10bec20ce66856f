// Playing from the window on a private sound server: Play and Stop, the position in the status
// bar, and what the window refuses while a track plays.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QTreeWidget>
#include <chrono>

#include "app/commands.h"
#include "app/main_frame.h"
#include "fixtures/disc_image_writer.h"
#include "playback/pulse_server.h"
#include "ui/child_view.h"
#include "ui/prompts.h"
#include "ui/track_list_rows.h"

namespace korvi {
namespace {

// Serves the event loop until the condition holds or the time is up.
bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 10000) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

TEST(FramePlayback, PlayStopAndTheRefusalsWhilePlaying) {
  fixtures::PulseServer server;
  ASSERT_TRUE(server.error().empty()) << server.error();
  setenv("PULSE_SERVER", server.address().c_str(), 1);
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  fixtures::WrittenImage image;
  ASSERT_TRUE(fixtures::WriteCueBinImage(server.dir() / "disc.cue", fixtures::AllAudioLayout(2, 600, 3),
                                         &image, nullptr));
  setenv("KORVI_CD_IMAGES", image.cue.c_str(), 1);
  int argc = 1;
  char name[] = "frame_playback_tests";
  char* argv[] = {name, nullptr};
  QApplication app(argc, argv);
  ScriptedPrompts prompts;
  Prompts::Install(&prompts);
  {
    UserFolders folders{(server.dir() / "Music").string(), (server.dir() / "data").string(),
                        (server.dir() / "config").string()};
    CMainFrame frame(folders);
    frame.Settings().GetDiscInfoAutomatically = false;
    ASSERT_TRUE(frame.Create());
    frame.show();
    frame.View()->TrackList()->topLevelItem(1)->setSelected(true);
    frame.UpdateCommandUI();
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
    EXPECT_TRUE(server.WaitForSound(2352 * 20, std::chrono::seconds(5)));
    EXPECT_TRUE(frame.close());
  }  // the frame lets the last blocks play out before it goes
  Prompts::Install(nullptr);
}

}  // namespace
}  // namespace korvi
