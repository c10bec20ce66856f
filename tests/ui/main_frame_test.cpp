// The main window on real disc images: start-up, commands and their enabling, the track list, the
// messenger, the status bar and the settings' life cycle.

#include "app/main_frame.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStatusTipEvent>
#include <QTreeWidget>
#include <QtTest>
#include <atomic>
#include <fstream>
#include <thread>

#include "app/commands.h"
#include "cddb/disc_id.h"
#include "disc/track_info.h"
#include "frame_fixture.h"
#include "ui/child_view.h"
#include "ui/drive_control_panel.h"
#include "ui/prompts.h"
#include "ui/track_edit_dlg.h"
#include "ui/track_list_rows.h"

using namespace korvi;

class MainFrameTest : public QObject, protected fixtures::FrameFixture {
  Q_OBJECT

 private:
  // A window whose drive list is images (KORVI_CD_IMAGES).
  std::unique_ptr<CMainFrame> MakeFrameOn(const QByteArray& images) {
    fixtures::FrameSetup setup;
    setup.images = images;
    return MakeFrame(setup);
  }

  std::map<int, bool> EnabledCommands(CMainFrame& frame) {
    frame.UpdateCommandUI();
    std::map<int, bool> enabled;
    for (const CommandInfo& command : Commands())
      if (command.id) enabled[command.id] = frame.Action(command.id)->isEnabled();
    return enabled;
  }

 private slots:
  void init() {
    fixtures::ImageLayout layout;
    layout.tracks = {
        {false, 900, 0, {}}, {false, 1200, 150, {}}, {false, 700, 150, {}}, {true, 500, 150, {}}};
    QVERIFY(SetUpDisc(layout));
  }
  void cleanup() { TearDownDisc(); }

  void startUpReadsTheFirstDrive() {
    auto frame = MakeFrame();
    QVERIFY(frame);
    QCOMPARE(frame->windowTitle(), QStringLiteral("Korvi CD Ripper 2.2"));
    QCOMPARE(frame->DriveName(), m_image.cue.string());
    QVERIFY(frame->Device());
    TrackListRows& rows = frame->View()->Rows();
    QCOMPARE(rows.RowCount(), 3);  // the data track ends the list
    QCOMPARE(rows.Text(1, kColumnName), std::string("Track 2"));
    QCOMPARE(rows.Text(1, kColumnBegin), std::to_string(m_image.starts[1]));
    QVERIFY(rows.IsChecked(0) && rows.IsChecked(2));
    QCOMPARE(frame->View()->DrivePanel()->InfoText(), QString());
    QCOMPARE(frame->View()->TrackList()->headerItem()->text(3), QStringLiteral("End sectors"));
    QVERIFY(std::filesystem::is_directory(m_dir->path() / "data" / "DiscInfo"));
  }

  void menusHoldEveryCommandInOrder() {
    auto frame = MakeFrame();
    const QList<QAction*> menus = frame->menuBar()->actions();
    QCOMPARE(menus.size(), 3);
    QCOMPARE(menus[0]->text(), QStringLiteral("&File"));
    QStringList file;
    for (QAction* item : menus[0]->menu()->actions()) file << (item->isSeparator() ? "-" : item->text());
    QCOMPARE(file, (QStringList{"&Ripping ...\tCtrl+R",
                                "-",
                                "Ripping &WAV files",
                                "Ripping &MP3 files",
                                "Ripping &APE files",
                                "Rip to F&LAC ...",
                                "Rip to Op&us ...",
                                "-",
                                "&Select All Track(s)",
                                "S&elect None",
                                "&Edit Track\tDouble Click",
                                "-",
                                "&Play\tCtrl+P",
                                "St&op\tCtrl+S",
                                "-",
                                "&Get Audio CD Info ...\tCtrl+I",
                                "Re&fresh",
                                "Se&ttings",
                                "-",
                                "E&xit\tCtrl+X"}));
    QCOMPARE(frame->Action(ID_GET_CD_INFO)->statusTip(),
             QStringLiteral("Get Audio CD info from gnudb.gnudb.org"));
    QCOMPARE(frame->Action(ID_APP_EXIT)->shortcut(), QKeySequence(QStringLiteral("Ctrl+X")));
    QCOMPARE(frame->Action(ID_HELP)->shortcut(), QKeySequence(Qt::Key_F1));
  }

  void enablingWithoutADisc() {
    auto frame = MakeFrameOn(QByteArray());
    QCOMPARE(frame->View()->Rows().RowCount(), 0);
    QVERIFY(!frame->Device());
    QVERIFY(!frame->View()->DrivePanel()->InfoText().isEmpty());
    const auto enabled = EnabledCommands(*frame);
    for (const auto& [id, on] : enabled) {
      const bool expected = id == ID_APP_EXIT || id == ID_SETTINGS || id == ID_REFRESH || id == ID_HELP ||
                            id == ID_APP_ABOUT || id == ID_VIEW_TOOLBAR || id == ID_VIEW_STATUS_BAR;
      QVERIFY2(on == expected, qPrintable(QString::number(id)));
    }
  }

  void enablingFollowsRowsAndSelection() {
    auto frame = MakeFrame();
    auto enabled = EnabledCommands(*frame);
    QVERIFY(enabled[ID_RIPPING] && enabled[ID_RIP_MP3] && enabled[ID_SELECT_ALL] && enabled[ID_GET_CD_INFO]);
    QVERIFY(!enabled[ID_PLAY] && !enabled[ID_EDIT_TRACK] && !enabled[ID_STOP]);
    // Check boxes alone do not enable Play; a highlighted row does.
    frame->View()->Rows().SetChecked(0, false);
    QVERIFY(!EnabledCommands(*frame)[ID_PLAY]);
    frame->View()->TrackList()->topLevelItem(1)->setSelected(true);
    QVERIFY(frame->Action(ID_PLAY)->isEnabled());  // re-evaluated on the selection change itself
    QVERIFY(frame->Action(ID_EDIT_TRACK)->isEnabled());
  }

  void ripNotificationsDisableTheListAndPanel() {
    auto frame = MakeFrame();
    frame->Messenger().Send(WM_RIP_STARTED);
    QVERIFY(!frame->View()->TrackList()->isEnabled());
    QVERIFY(!frame->View()->DrivePanel()->isEnabled());
    QVERIFY(frame->Action(ID_APP_ABOUT)->isEnabled());
    frame->Messenger().Send(WM_RIP_FINISHED);
    QVERIFY(frame->View()->TrackList()->isEnabled());
    QVERIFY(frame->View()->DrivePanel()->isEnabled());
  }

  void selectAllAndNone() {
    auto frame = MakeFrame();
    TrackListRows& rows = frame->View()->Rows();
    frame->Action(ID_SELECT_NONE)->trigger();
    for (int r = 0; r < rows.RowCount(); ++r) QVERIFY(!rows.IsChecked(r));
    frame->Action(ID_SELECT_ALL)->trigger();
    for (int r = 0; r < rows.RowCount(); ++r) QVERIFY(rows.IsChecked(r));
  }

  void editTrackActsOnTheFirstSelectedBoundRow() {
    auto frame = MakeFrame();
    TrackListRows& rows = frame->View()->Rows();
    CTrackInfo second(1, 2, "Old title"), third(3, 4, "Third");
    second.artist = "Someone";
    second.year = 1999;
    rows.SetItemData(1, &second);
    rows.SetItemData(2, &third);
    QTreeWidget* list = frame->View()->TrackList();
    list->topLevelItem(2)->setSelected(true);
    list->topLevelItem(1)->setSelected(true);

    QString shownTitle, shownArtist;
    int shownYear = 0;
    m_prompts.onModal = [&](QDialog& dialog) {
      auto& edit = dynamic_cast<CTrackEditDlg&>(dialog);
      shownTitle = edit.title;
      shownArtist = edit.artist;
      shownYear = edit.year;
      edit.title = QStringLiteral("New title");
      edit.year = 2024;
      return int(QDialog::Accepted);
    };
    frame->Action(ID_EDIT_TRACK)->trigger();
    QCOMPARE(m_prompts.modalCount, 1);
    QCOMPARE(shownTitle, QStringLiteral("Track 2"));  // the list text, not the record's title
    QCOMPARE(shownArtist, QStringLiteral("Someone"));
    QCOMPARE(shownYear, 1999);
    QCOMPARE(second.title(), std::string("New title"));
    QCOMPARE(second.year, 2024);
    QCOMPARE(rows.Text(1, kColumnName), std::string("New title"));
    QCOMPARE(rows.Text(1, kColumnBegin), std::to_string(m_image.starts[1]));
    QCOMPARE(third.title(), std::string("Third"));

    // Cancel changes nothing.
    m_prompts.onModal = [](QDialog& dialog) {
      dynamic_cast<CTrackEditDlg&>(dialog).title = QStringLiteral("Discarded");
      return int(QDialog::Rejected);
    };
    frame->Action(ID_EDIT_TRACK)->trigger();
    QCOMPARE(second.title(), std::string("New title"));
    QCOMPARE(rows.Text(1, kColumnName), std::string("New title"));
  }

  void editTrackNeedsARecordAndASelection() {
    auto frame = MakeFrame();
    QTreeWidget* list = frame->View()->TrackList();
    frame->View()->EditTrack();  // nothing selected
    list->topLevelItem(0)->setSelected(true);
    frame->Action(ID_EDIT_TRACK)->trigger();  // selected, but no record bound yet
    QCOMPARE(m_prompts.modalCount, 0);
  }

  void doubleClickEditsTheSelectedRow() {
    auto frame = MakeFrame();
    CTrackInfo first(0, 1, "One");
    frame->View()->Rows().SetItemData(0, &first);
    QTreeWidget* list = frame->View()->TrackList();
    QVERIFY(QTest::qWaitForWindowExposed(frame.get(), fixtures::ScaledMs(5000)));
    const QPoint onRow = list->visualItemRect(list->topLevelItem(0)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, onRow);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, onRow);
    QCOMPARE(m_prompts.modalCount, 1);
  }

  void disabledCommandsAreNotCarriedOut() {
    auto frame = MakeFrameOn(QByteArray());
    QVERIFY(QTest::qWaitForWindowExposed(frame.get(), fixtures::ScaledMs(5000)));
    QTest::keyClick(frame.get(), Qt::Key_R, Qt::ControlModifier);  // Ripping: no rows
    frame->OnCommand(ID_RIP_WAV);
    frame->OnCommand(ID_PLAY);
    QVERIFY(m_prompts.errors.isEmpty());
    QVERIFY(m_prompts.modalCount == 0);
    QCOMPARE(frame->View()->Rows().RowCount(), 0);
  }

  void ctrlXExits() {
    auto frame = MakeFrame();
    QVERIFY(QTest::qWaitForWindowExposed(frame.get(), fixtures::ScaledMs(5000)));
    QTest::keyClick(frame.get(), Qt::Key_X, Qt::ControlModifier);
    SCALED_TRY_VERIFY(!frame->isVisible());
  }

  void statusPanes() {
    auto frame = MakeFrame();
    frame->Messenger().Send(WM_SET_STATUS_TEXT, 0, reinterpret_cast<intptr_t>("Playing"));
    QStatusTipEvent tip(QStringLiteral("Refresh CDROM"));
    QCoreApplication::sendEvent(frame.get(), &tip);
    QCOMPARE(frame->StatusPrompt(), QStringLiteral("Refresh CDROM"));
    QCOMPARE(frame->StatusText(), QStringLiteral("Playing"));
    QStatusTipEvent idle{QString()};
    QCoreApplication::sendEvent(frame.get(), &idle);
    QCOMPARE(frame->StatusPrompt(), QStringLiteral(" "));
  }

  void workersReachTheFrameThroughTheMessenger() {
    auto frame = MakeFrame();
    IFrameMessenger& messenger = frame->Messenger();
    std::atomic<bool> sentWhileBlocked{false};  // read by this thread while the worker runs
    std::thread worker([&] {
      // send waits for the GUI thread, so the text is in place when it returns
      const char text[] = "From the worker";
      messenger.Send(WM_SET_STATUS_TEXT, 0, reinterpret_cast<intptr_t>(text));
      sentWhileBlocked = true;
      messenger.Post(WM_RIP_STARTED);
    });
    SCALED_TRY_VERIFY(sentWhileBlocked.load());
    worker.join();
    QCOMPARE(frame->StatusText(), QStringLiteral("From the worker"));
    SCALED_TRY_VERIFY(!frame->View()->TrackList()->isEnabled());
    frame->Messenger().Send(WM_RIP_FINISHED);
  }

  void refreshOpensTheDriveAgain() {
    auto frame = MakeFrame();
    CdDevice* before = frame->Device();
    frame->View()->Rows().SetChecked(0, false);
    frame->Action(ID_REFRESH)->trigger();
    QVERIFY(frame->Device());
    QVERIFY(frame->Device() == frame->View()->DrivePanel()->Device());
    QCOMPARE(frame->View()->Rows().RowCount(), 3);
    QVERIFY(frame->View()->Rows().IsChecked(0));  // rows rebuilt
    (void)before;
  }

  void brokenImageLeavesAnEmptyListAndSaysWhy() {
    std::ofstream(m_dir->path() / "broken.cue") << "FILE \"broken.bin\" BINARY\n  TRACK 01 AUDIO\n";
    auto frame = MakeFrameOn(QByteArray::fromStdString((m_dir->path() / "broken.cue").string()));
    QVERIFY(frame);
    QCOMPARE(frame->View()->Rows().RowCount(), 0);
    QVERIFY(!frame->View()->DrivePanel()->InfoText().isEmpty());
  }

  void settingsLoadAtConstructionAndSaveAtDestruction() {
    {
      auto frame = MakeFrame();
      QCOMPARE(frame->Settings().BPS, 192);
      frame->Settings().BPS = 320;
      frame->Settings().ReplacePrompt = false;
    }
    QVERIFY(std::filesystem::exists(m_dir->path() / "config" / "registry.reg"));
    auto again = MakeFrame();
    QCOMPARE(again->Settings().BPS, 320);
    QCOMPARE(again->Settings().ReplacePrompt, false);
  }

  void theRecordIsSavedBeforeANewReadAndAtClose() {
    auto frame = MakeFrame();
    const auto library = m_dir->path() / "data" / "DiscInfo";
    frame->Action(ID_REFRESH)->trigger();  // nothing but the table of contents: nothing to save
    QVERIFY(std::filesystem::is_empty(library));
    frame->DiscInfo().discId = 0x1234ABCD;
    frame->DiscInfo().albumTitle = "Edited";
    frame->Action(ID_REFRESH)->trigger();
    QVERIFY(std::filesystem::exists(library / "1234ABCD.dci"));
    std::filesystem::remove(library / "1234ABCD.dci");
    // The new read starts an empty record of this disc.
    QVERIFY(frame->DiscInfo().albumTitle.empty());
    QCOMPARE(frame->DiscInfo().discId, DiscIdOf(frame->Toc().toc));
    QVERIFY(frame->DiscInfo().discId != 0);
    frame->DiscInfo().discId = 0x1234ABCD;
    frame->DiscInfo().albumTitle = "Edited";
    QVERIFY(frame->close());
    CDiscInfo saved;
    QVERIFY(saved.LoadDiscInfo(library.string(), 0x1234ABCD) > 0);
    QCOMPARE(saved.albumTitle, std::string("Edited"));
  }

  void closingWhileIdleCloses() {
    auto frame = MakeFrame();
    QVERIFY(frame->close());
    QVERIFY(m_prompts.errors.isEmpty());
  }
};

QTEST_MAIN(MainFrameTest)
#include "main_frame_test.moc"
