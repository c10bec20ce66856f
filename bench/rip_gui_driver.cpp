// rip_gui_driver OUT_DIR: one WAV rip of every track through the main window, as a user starts it
// (Select all, then Rip to WAV), with the folder chooser off and OUT_DIR as the output folder. The
// window opens the first image of KORVI_CD_IMAGES. Prints one line:
//
//   wall_s W stall_ms S ticks T files F rows R
//
// W: seconds from the command to the end of the job as the window sees it; S: the largest gap
// between two ticks of a 5 ms timer meanwhile, which is the longest the event loop was kept from
// the user; F: the files the job wrote, of R rows. Run on the offscreen platform with HOME and the
// XDG folders pointing somewhere temporary: the window reads and saves the user's settings.

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <cstdio>
#include <memory>

#include "app/commands.h"
#include "app/main_frame.h"
#include "ui/child_view.h"
#include "ui/prompts.h"
#include "ui/track_list_rows.h"

using namespace korvi;

namespace {

int Fail(const char* text) {
  std::fprintf(stderr, "rip_gui_driver: %s\n", text);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: KORVI_CD_IMAGES=DISC.cue rip_gui_driver OUT_DIR\n");
    return 2;
  }
  // Records any box instead of waiting for a person; with no chooser and no overwrite question,
  // a box here is an error of the rip.
  ScriptedPrompts prompts;
  Prompts::Install(&prompts);

  auto frame = std::make_unique<CMainFrame>(UserFolders::FromEnvironment());
  // A lookup would go to the network and rename the rows; the rip alone is measured.
  frame->Settings().GetDiscInfoAutomatically = false;
  frame->Create();
  frame->show();
  frame->Settings().ShowSelectorBeforeSave = false;
  frame->Settings().DefaultFolder = argv[1];
  frame->Settings().ReplacePrompt = false;
  if (!frame->Device()) return Fail("no disc: KORVI_CD_IMAGES names no image that opens");

  TrackListRows& rows = frame->View()->Rows();
  if (rows.RowCount() == 0) return Fail("the disc lists no track");
  frame->Action(ID_SELECT_ALL)->trigger();
  for (int row = 0; row < rows.RowCount(); ++row)
    if (!rows.IsChecked(row)) return Fail("Select all left a row unchecked");

  QElapsedTimer clock;
  clock.start();
  qint64 lastTick = 0;
  qint64 longestGap = 0;
  qint64 ticks = 0;
  qint64 end = -1;
  QTimer ticker;
  ticker.setTimerType(Qt::PreciseTimer);
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    const qint64 now = clock.nsecsElapsed();
    longestGap = std::max(longestGap, now - lastTick);
    lastTick = now;
    ++ticks;
    if (frame->IsRipping()) return;
    // The worker has posted its last message and ends: deliver that message, so that the window
    // has taken the job's end, as it would on its next turn.
    frame->Rip().Join();
    QCoreApplication::sendPostedEvents();
    end = clock.nsecsElapsed();
    ticker.stop();
    app.quit();
  });

  ticker.start(5);
  lastTick = clock.nsecsElapsed();
  const qint64 start = lastTick;
  frame->OnCommand(ID_RIP_WAV);
  app.exec();
  if (end < 0) return Fail("the event loop ended before the job");
  if (!frame->View()->TrackList()->isEnabled()) return Fail("the window did not take the end of the job");

  const size_t written = frame->Rip().WrittenFiles().size();
  const int rowCount = rows.RowCount();
  for (const RipFailure& failure : frame->Rip().Failures())
    std::fprintf(stderr, "rip_gui_driver: %s: %s\n", failure.path.c_str(), failure.cause.c_str());
  for (const QString& error : prompts.errors)
    std::fprintf(stderr, "rip_gui_driver: box: %s\n", qPrintable(error));
  std::printf("wall_s %.3f stall_ms %.1f ticks %lld files %zu rows %d\n", double(end - start) / 1e9,
              double(longestGap) / 1e6, static_cast<long long>(ticks), written, rowCount);
  frame.reset();
  Prompts::Install(nullptr);
  return written == size_t(rowCount) && prompts.errors.isEmpty() ? 0 : 1;
}
