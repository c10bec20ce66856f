// Ripping from the window on a real disc image: the commands, the dialogs a job waits on, the
// state while it runs, stopping it, and the report of files that failed.

#include <sys/stat.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>
#include <cstring>
#include <fstream>
#include <iterator>

#include "app/commands.h"
#include "frame_fixture.h"
#include "ui/child_view.h"
#include "ui/drive_control_panel.h"
#include "ui/progress_dlg.h"
#include "ui/prompt_overwrite_dlg.h"
#include "ui/prompts.h"
#include "ui/select_format_dlg.h"
#include "ui/track_list_rows.h"

using namespace korvi;

// A job of this disc ends well within it.
constexpr int kRipMs = 20000;

class FrameRipTest : public QObject, protected fixtures::FrameFixture {
  Q_OBJECT

 private:

  QString OverwriteQuestion(QDialog& dialog) {
    auto& prompt = dynamic_cast<CPromptOverwriteDlg&>(dialog);
    return prompt.fileName;
  }

 private slots:
  void init() {
    fixtures::ImageLayout layout;
    layout.tracks = {{false, 400, 0, {}}, {false, 300, 150, {}}, {false, 250, 10, {}}};
    QVERIFY(SetUpDisc(layout));
  }
  void cleanup() { TearDownDisc(); }

  void wavCommandRipsTheCheckedRowsIntoTheChosenFolder() {
    auto frame = MakeFrame();
    frame->View()->Rows().SetChecked(1, false);
    QVERIFY(RipAndWait(*frame, ID_RIP_WAV, kRipMs));
    QCOMPARE(m_prompts.folderTitles, QStringList{"Please choose a folder for output file(s):"});
    QVERIFY(std::filesystem::exists(m_out / "Track 1.wav"));
    QVERIFY(!std::filesystem::exists(m_out / "Track 2.wav"));
    const auto size = std::filesystem::file_size(m_out / "Track 3.wav");
    QCOMPARE(size, uintmax_t(44 + 2352 * (m_image.leadOut - m_image.starts[2])));
    QVERIFY(m_prompts.errors.isEmpty());
    QVERIFY(!frame->ProgressDialog()->isVisible());
    QVERIFY(frame->Action(ID_RIPPING)->isEnabled());
  }

  void whileRippingTheWindowRefusesToCloseAndRipCommandsAreOff() {
    auto frame = MakeFrame();
    std::ofstream(m_out / "Track 2.wav") << "old";
    bool checked = false;
    m_prompts.onModal = [&](QDialog& dialog) {
      // The worker waits on this question: the job is running.
      if (!dynamic_cast<CPromptOverwriteDlg*>(&dialog)) return int(QDialog::Rejected);
      checked = true;
      [&] {
        QCOMPARE(OverwriteQuestion(dialog), QString::fromStdString((m_out / "Track 2.wav").string()));
        QVERIFY(frame->IsRipping());
        QVERIFY(!frame->View()->TrackList()->isEnabled());
        QVERIFY(!frame->View()->DrivePanel()->isEnabled());
        QVERIFY(frame->ProgressDialog()->isVisible());
        frame->UpdateCommandUI();
        QVERIFY(!frame->Action(ID_RIPPING)->isEnabled());
        QVERIFY(!frame->Action(ID_REFRESH)->isEnabled());
        QVERIFY(!frame->Action(ID_APP_EXIT)->isEnabled());
        QVERIFY(frame->Action(ID_APP_ABOUT)->isEnabled());
        QVERIFY(!frame->close());
        QCOMPARE(m_prompts.errors, QStringList{"Please stop ripping before exit this application!"});
        // The bars follow the job's counters at the window's own pace: track 1 is read.
        auto* total = frame->ProgressDialog()->findChild<QProgressBar*>("totalBar");
        SCALED_TRY_COMPARE(total->value(), int(frame->Rip().DoneSectors()));
        QVERIFY(total->value() > 0);
        QCOMPARE(total->maximum(), int(frame->Rip().TotalSectors()));
      }();
      dynamic_cast<CPromptOverwriteDlg&>(dialog).answer = kOverwriteYes;
      return int(QDialog::Accepted);
    };
    QVERIFY(RipAndWait(*frame, ID_RIP_WAV, kRipMs));
    QVERIFY(checked);
    QVERIFY(std::filesystem::file_size(m_out / "Track 2.wav") > 3);
    QVERIFY(frame->close());
  }

  void dismissedOverwritePromptKeepsTheFile() {
    auto frame = MakeFrame();
    std::ofstream(m_out / "Track 1.wav") << "old";
    m_prompts.onModal = [](QDialog&) { return int(QDialog::Rejected); };  // Escape
    QVERIFY(RipAndWait(*frame, ID_RIP_WAV, kRipMs));
    QCOMPARE(std::filesystem::file_size(m_out / "Track 1.wav"), uintmax_t(3));
    QVERIFY(std::filesystem::exists(m_out / "Track 2.wav"));
  }

  void confirmedStopEndsTheJobAfterTheCurrentFile() {
    auto frame = MakeFrame();
    std::ofstream(m_out / "Track 2.wav") << "old";
    QStringList questions;
    m_prompts.onModal = [&](QDialog& dialog) {
      if (auto* box = dynamic_cast<QMessageBox*>(&dialog)) {
        questions << box->text();
        return int(QMessageBox::Yes);
      }
      // While the worker waits here, the user presses Cancel in the progress dialog.
      frame->ProgressDialog()->findChild<QPushButton*>("cancelButton")->click();
      dynamic_cast<CPromptOverwriteDlg&>(dialog).answer = kOverwriteYes;
      return int(QDialog::Accepted);
    };
    QVERIFY(RipAndWait(*frame, ID_RIP_WAV, kRipMs));
    QCOMPARE(questions, QStringList{"Stop ripping?"});
    QVERIFY(std::filesystem::exists(m_out / "Track 1.wav"));
    // Track 2 was being started: it holds what was read before the worker saw the flag.
    QVERIFY(std::filesystem::file_size(m_out / "Track 2.wav") < 44 + 2352 * 300u);
    QVERIFY(!std::filesystem::exists(m_out / "Track 3.wav"));
    // The tracks were verified, but a stopped job adds nothing to what the user was told.
    QVERIFY(!frame->Rip().AccurateRipSummaryText().empty());
    QVERIFY(m_prompts.information.isEmpty());
  }

  // The boxes the job waits on block no other window: the progress window's Cancel, clicked
  // through the window system as a user would, asks the stop question, and Yes ends the open
  // overwrite question as No and the job with it.
  void cancelStaysUsableWhileTheJobWaitsOnABox() {
    struct RealJobBoxes : ScriptedPrompts {
      int RunJobBox(QDialog& dialog) override { return Prompts::RunJobBox(dialog); }
    } prompts;
    prompts.onChooseFolder = m_prompts.onChooseFolder;
    QStringList questions;
    prompts.onModal = [&](QDialog& dialog) {
      if (auto* box = dynamic_cast<QMessageBox*>(&dialog)) questions << box->text();
      return int(QMessageBox::Yes);
    };
    Prompts::Install(&prompts);
    auto frame = MakeFrame();
    std::ofstream(m_out / "Track 1.wav") << "old";
    // The question runs its own event loop: the user acts from within it.
    bool clicked = false;
    bool blocked = true;
    QElapsedTimer sinceClick;
    QTimer user;
    connect(&user, &QTimer::timeout, [&] {
      auto* prompt = frame->findChild<CPromptOverwriteDlg*>();
      if (!prompt || !prompt->isVisible()) return;
      if (clicked) {
        if (sinceClick.elapsed() > fixtures::ScaledMs(5000)) prompt->reject();  // the click did not get through
        return;
      }
      clicked = true;
      sinceClick.start();
      blocked = QApplication::activeModalWidget() != nullptr;
      CProgressDlg* progress = frame->ProgressDialog();
      auto* cancel = progress->findChild<QPushButton*>("cancelButton");
      QTest::mouseClick(progress->windowHandle(), Qt::LeftButton, {},
                        cancel->mapTo(progress, cancel->rect().center()));
    });
    user.start(20);
    frame->OnCommand(ID_RIP_WAV);
    SCALED_TRY_VERIFY_WITH_TIMEOUT(clicked, 10000);
    QVERIFY(!blocked);
    SCALED_TRY_COMPARE(questions, QStringList{"Stop ripping?"});
    SCALED_TRY_VERIFY_WITH_TIMEOUT(!frame->IsRipping(), kRipMs);
    QVERIFY(!frame->findChild<CPromptOverwriteDlg*>());
    QCOMPARE(std::filesystem::file_size(m_out / "Track 1.wav"), uintmax_t(3));
    QVERIFY(!std::filesystem::exists(m_out / "Track 2.wav"));
    Prompts::Install(&m_prompts);
  }

  void ripCommandAsksForTheFormat() {
    auto frame = MakeFrame();
    int chooserRuns = 0;
    m_prompts.onModal = [&](QDialog& dialog) {
      if (dynamic_cast<CSelectFormatDlg*>(&dialog)) ++chooserRuns;
      return int(QDialog::Accepted);  // untouched: WAVE
    };
    QVERIFY(RipAndWait(*frame, ID_RIPPING, kRipMs));
    QCOMPARE(chooserRuns, 1);
    QVERIFY(std::filesystem::exists(m_out / "Track 1.wav"));

    m_prompts.onModal = [](QDialog&) { return int(QDialog::Rejected); };
    std::filesystem::remove_all(m_out);
    std::filesystem::create_directory(m_out);
    frame->OnCommand(ID_RIPPING);
    QVERIFY(!frame->IsRipping());
    QVERIFY(std::filesystem::is_empty(m_out));
    QVERIFY(m_prompts.errors.isEmpty());
  }

  void refusalsBeforeAJobStarts() {
    auto frame = MakeFrame();
    frame->Action(ID_SELECT_NONE)->trigger();
    frame->OnCommand(ID_RIP_WAV);
    QCOMPARE(m_prompts.errors,
             QStringList{"No track selected, please select one or more tracks before continue!"});
    QVERIFY(!frame->IsRipping());

    frame->Action(ID_SELECT_ALL)->trigger();
    m_prompts.onChooseFolder = [](const QString&) { return QString(); };  // the chooser cancelled
    frame->OnCommand(ID_RIP_WAV);
    QVERIFY(!frame->IsRipping());
    QCOMPARE(m_prompts.errors.size(), 1);
    QVERIFY(std::filesystem::is_empty(m_out));
  }

  void failedFilesAreReportedOnceAtTheEnd() {
    auto frame = MakeFrame();
    frame->Settings().ShowSelectorBeforeSave = false;
    frame->Settings().DefaultFolder = (m_dir->path() / "gone").string();
    QVERIFY(RipAndWait(*frame, ID_RIP_WAV, kRipMs));
    QCOMPARE(m_prompts.errors.size(), 1);
    const QString report = m_prompts.errors.front();
    QVERIFY(report.contains("Track 1.wav") && report.contains("Track 3.wav"));
    QVERIFY2(report.contains("No such file or directory"), qPrintable(report));
  }

  // A named pipe at track 2's name: the rip neither waits on it nor writes through it; the box at
  // the end names it, and the track's row says why it has no file.
  void aTrackWithoutAFileSaysWhyInItsRow() {
    auto frame = MakeFrame();
    const std::filesystem::path pipe = m_out / "Track 2.wav";
    QCOMPARE(::mkfifo(pipe.c_str(), 0644), 0);
    QVERIFY(RipAndWait(*frame, ID_RIP_WAV, kRipMs));
    QCOMPARE(m_prompts.errors.size(), 1);
    QVERIFY2(m_prompts.errors.front().contains(QString::fromStdString(pipe.string())),
             qPrintable(m_prompts.errors.front()));
    const TrackListRows& rows = frame->View()->Rows();
    QCOMPARE(rows.Text(1, kColumnStatus), std::string("Failed: is a named pipe (FIFO), not a regular file"));
    for (int row : {0, 2})
      QVERIFY2(rows.Text(row, kColumnStatus).rfind("OK", 0) == 0, rows.Text(row, kColumnStatus).c_str());
    QVERIFY(std::filesystem::is_fifo(pipe));
  }

  // Music before track 1: a row of its own above track 1, unchecked; checked, it becomes a file
  // that sorts first and holds exactly that music. The rows below keep their places.
  void theHiddenTrackIsARowOfItsOwn() {
    fixtures::ImageLayout layout;
    layout.tracks = {{false, 300, 120, {}}, {false, 200, 0, {}}};
    layout.audiblePregaps = true;
    QVERIFY(fixtures::WriteCueBinImage(m_dir->path() / "disc.cue", layout, &m_image, nullptr));
    auto frame = MakeFrame();
    QTreeWidget* list = frame->View()->TrackList();
    QCOMPARE(list->topLevelItemCount(), 3);
    QTreeWidgetItem* hidden = list->topLevelItem(0);
    QCOMPARE(hidden->text(kColumnName), QStringLiteral("Hidden track"));
    QCOMPARE(hidden->checkState(kColumnName), Qt::Unchecked);
    QCOMPARE(frame->View()->Rows().RowCount(), 2);
    QCOMPARE(frame->View()->Rows().Text(0, kColumnName), std::string("Track 1"));
    hidden->setCheckState(kColumnName, Qt::Checked);
    QVERIFY(RipAndWait(*frame, ID_RIP_WAV, kRipMs));
    QVERIFY2(m_prompts.errors.isEmpty(), qPrintable(m_prompts.errors.join("\n")));
    const std::vector<uint8_t> music = fixtures::ReadBinSectors(m_image.bin, 0, m_image.starts[0] - 1);
    std::ifstream in(m_out / "00 - Hidden track.wav", std::ios::binary);
    const std::string file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    QCOMPARE(file.size(), 44 + music.size());
    QVERIFY(std::memcmp(file.data() + 44, music.data(), music.size()) == 0);
    QVERIFY2(hidden->text(kColumnStatus).startsWith("OK"), qPrintable(hidden->text(kColumnStatus)));
    QVERIFY(std::filesystem::exists(m_out / "Track 2.wav"));
  }

  void aMissingMp3EncoderIsShownForEachTrackAndTheJobGoesOn() {
    qunsetenv("LD_LIBRARY_PATH");  // the encoder module lies beside the programs, not the tests
    auto frame = MakeFrame();
    frame->View()->Rows().SetChecked(2, false);
    QVERIFY(RipAndWait(*frame, ID_RIP_MP3, kRipMs));
    QCOMPARE(m_prompts.errors.size(), 3);
    QCOMPARE(m_prompts.errors[0], QStringLiteral("Library lame_enc.so can not be found!"));
    QCOMPARE(m_prompts.errors[1], QStringLiteral("Library lame_enc.so can not be found!"));
    QVERIFY(m_prompts.errors[2].contains("Track 1.mp3") && m_prompts.errors[2].contains("Track 2.mp3"));
    QVERIFY(!frame->IsRipping());
  }

  void rowTitlesAndBoundRecordsNameTheFiles() {
    auto frame = MakeFrame();
    CTrackInfo named(0, 0, "AC/DC: Live?");
    frame->View()->Rows().SetItemData(0, &named);
    frame->View()->Rows().SetText(1, kColumnName, "Edited row");
    QVERIFY(RipAndWait(*frame, ID_RIP_WAV, kRipMs));
    QVERIFY(std::filesystem::exists(m_out / "AC_DC: Live_.wav"));
    QVERIFY(std::filesystem::exists(m_out / "Edited row.wav"));
    // The bound record took its range from the row's sector columns.
    QCOMPARE(named.end(), m_image.starts[1] - 1);
  }

  // A mixed-mode disc: the rows are its audio tracks after the data track, by their own numbers,
  // and a track's file and status go with its row.
  void mixedModeRowsKeepTheDiscsTrackNumbers() {
    fixtures::ImageLayout layout;
    layout.tracks = {{true, 300, 0, {}}, {false, 300, 150, {}}, {false, 250, 0, {}}};
    QVERIFY(fixtures::WriteCueBinImage(m_dir->path() / "mixed.cue", layout, &m_image, nullptr));
    auto frame = MakeFrame();
    TrackListRows& rows = frame->View()->Rows();
    QCOMPARE(rows.RowCount(), 2);
    QCOMPARE(rows.Text(0, kColumnName), std::string("Track 2"));
    QCOMPARE(rows.Text(1, kColumnBegin), std::to_string(m_image.starts[2]));
    rows.SetChecked(0, false);
    QVERIFY(RipAndWait(*frame, ID_RIP_WAV, kRipMs));
    QVERIFY(std::filesystem::exists(m_out / "Track 3.wav"));
    QCOMPARE(std::filesystem::file_size(m_out / "Track 3.wav"), uintmax_t(44 + 250 * 2352));
    QCOMPARE(rows.Text(0, kColumnStatus), std::string());
    QVERIFY2(rows.Text(1, kColumnStatus).rfind("OK", 0) == 0, rows.Text(1, kColumnStatus).c_str());
  }
};

QTEST_MAIN(FrameRipTest)
#include "frame_rip_test.moc"
