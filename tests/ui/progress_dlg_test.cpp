// The rip's progress window: bars and clock as a job reports them, and the stop question with the
// messages it posts to the frame.

#include "ui/progress_dlg.h"

#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <vector>

#include "messages/messenger.h"
#include "rip/rip_job.h"
#include "ui/prompts.h"

namespace korvi {
namespace {

// Logs every message the dialog gives the frame, sent and posted apart.
class RecordingMessenger : public IFrameMessenger {
 public:
  std::vector<unsigned> sent;
  std::vector<unsigned> posted;

  intptr_t Send(unsigned message, uintptr_t, intptr_t) override {
    sent.push_back(message);
    return 0;
  }
  void Post(unsigned message, uintptr_t, intptr_t) override { posted.push_back(message); }
};

template <typename T>
T* Child(QWidget& parent, const char* name) {
  auto* child = parent.findChild<T*>(QString::fromLatin1(name));
  if (!child) qFatal("no child named %s", name);
  return child;
}

// What the frame does with the job's report of one sector.
void Report(CProgressDlg& dialog, const RipProgress& progress) {
  dialog.SetTrackProgress(progress.sectorIndex, progress.trackSectors);
  dialog.SetTotalProgress(progress.doneSectors, progress.totalSectors);
}

void Ticks(CProgressDlg& dialog, int count) {
  for (int i = 0; i < count; ++i) dialog.Tick();
}

using Messages = std::vector<unsigned>;

}  // namespace

class ProgressDlgTest : public QObject {
  Q_OBJECT

 private:
  ScriptedPrompts m_prompts;
  RecordingMessenger m_frame;

 private slots:
  void init() {
    m_prompts = ScriptedPrompts();
    m_frame = RecordingMessenger();
    Prompts::Install(&m_prompts);
  }
  void cleanup() { Prompts::Install(nullptr); }

  void layoutAndTexts() {
    CProgressDlg dialog(m_frame);
    QCOMPARE(dialog.windowTitle(), QString("Please wait ..."));
    QVERIFY(!dialog.isModal());
    QStringList groups;
    for (const QGroupBox* group : dialog.findChildren<QGroupBox*>()) groups << group->title();
    QCOMPARE(groups, QStringList({"Total Progress:", "Single Track Progress:"}));
    QCOMPARE(Child<QLabel>(dialog, "timeLabel")->text(), QString("Time:"));
    QCOMPARE(Child<QLabel>(dialog, "nameLabel")->text(), QString());
    auto* cancel = Child<QPushButton>(dialog, "cancelButton");
    QCOMPARE(cancel->text(), QString("Cancel"));
    QVERIFY(!cancel->isDefault() && !cancel->autoDefault());
    QVERIFY(!dialog.isVisible());
    dialog.show();
    QCOMPARE(dialog.size(), QSize(460, 230));
    QVERIFY(qAbs(cancel->geometry().center().x() - dialog.width() / 2) <= 1);
  }

  // A one-track job of 1000 sectors, reported as the rip job reports it: the sector about to be
  // read, of a track whose last sector is 999 further on. Past either end a bar shows that end.
  void barsFollowAOneTrackJob() {
    CProgressDlg dialog(m_frame);
    auto* track = Child<QProgressBar>(dialog, "trackBar");
    auto* total = Child<QProgressBar>(dialog, "totalBar");
    for (int32_t sector = 0; sector < 1000; ++sector) {
      Report(dialog, {sector, 999, sector, 1000});
      if (sector == 400) {
        QCOMPARE(track->value(), 400);
        QCOMPARE(total->value(), 400);
      }
    }
    QCOMPARE(track->minimum(), 0);
    QCOMPARE(track->maximum(), 999);
    QCOMPARE(track->value(), 999);
    QCOMPARE(total->minimum(), 0);
    QCOMPARE(total->maximum(), 1000);
    QCOMPARE(total->value(), 999);
    QVERIFY(m_frame.sent.empty() && m_frame.posted.empty());

    dialog.SetTrackProgress(10, 999);
    dialog.SetTrackProgress(1500, 999);
    QCOMPARE(track->value(), 999);
    dialog.SetTotalProgress(-5, 1000);
    QCOMPARE(total->value(), 0);
    // A later job's smaller range takes the position with it.
    dialog.SetTrackProgress(50, 20);
    QCOMPARE(track->maximum(), 20);
    QCOMPARE(track->value(), 20);
    // A one-sector track (no sectors after its first): an empty bar, never Qt's busy bar.
    Report(dialog, {0, 0, 0, 1});
    QVERIFY(track->maximum() > track->minimum());
    QCOMPARE(track->value(), 0);
  }

  // Until the new job reports, the window shows the last one's ranges, name and time.
  void startResetsOnlyTheClockAndPositions() {
    CProgressDlg dialog(m_frame);
    auto* track = Child<QProgressBar>(dialog, "trackBar");
    auto* total = Child<QProgressBar>(dialog, "totalBar");
    auto* time = Child<QLabel>(dialog, "timeLabel");
    auto* clock = dialog.findChild<QTimer*>();
    QVERIFY(clock);
    QVERIFY(!clock->isActive());

    dialog.Start();
    QVERIFY(dialog.isVisible());
    QVERIFY(clock->isActive());
    QCOMPARE(clock->interval(), 1000);
    Report(dialog, {700, 999, 1700, 3000});
    dialog.SetName("/music/Harbour Lights/02 Night Ferry.wav");
    Ticks(dialog, 65);
    dialog.Stop();
    QVERIFY(!dialog.isVisible());
    QVERIFY(!clock->isActive());

    dialog.Start();
    QVERIFY(dialog.isVisible());
    QVERIFY(clock->isActive());
    QCOMPARE(track->value(), 0);
    QCOMPARE(total->value(), 0);
    QCOMPARE(track->maximum(), 999);
    QCOMPARE(total->maximum(), 3000);
    QCOMPARE(time->text(), QString("Time: 0:1:5"));
    QCOMPARE(Child<QLabel>(dialog, "nameLabel")->toolTip(),
             QString("/music/Harbour Lights/02 Night Ferry.wav"));
    dialog.Tick();
    QCOMPARE(time->text(), QString("Time: 0:0:1"));
  }

  void clockShowsHoursMinutesSeconds_data() {
    QTest::addColumn<int>("ticks");
    QTest::addColumn<QString>("text");
    QTest::newRow("one second") << 1 << "Time: 0:0:1";
    QTest::newRow("one minute") << 60 << "Time: 0:1:0";
    QTest::newRow("two minutes five") << 125 << "Time: 0:2:5";
    QTest::newRow("an hour, two minutes five") << 3725 << "Time: 1:2:5";
    QTest::newRow("a day") << 86400 << "Time: 24:0:0";
  }
  void clockShowsHoursMinutesSeconds() {
    QFETCH(int, ticks);
    QFETCH(QString, text);
    CProgressDlg dialog(m_frame);
    dialog.Start();
    Ticks(dialog, ticks);
    QCOMPARE(Child<QLabel>(dialog, "timeLabel")->text(), text);
  }

  void nameFitsItsLabel() {
    CProgressDlg dialog(m_frame);
    dialog.show();
    auto* name = Child<QLabel>(dialog, "nameLabel");
    const QString shortPath = "/music/a.wav";
    dialog.SetName(shortPath);
    QCOMPARE(name->text(), shortPath);
    QCOMPARE(name->toolTip(), shortPath);

    const QString longPath = "/music/" + QString("Very Long Album Title ").repeated(12) + "/07 The End.wav";
    dialog.SetName(longPath);
    QCOMPARE(dialog.width(), 460);
    QCOMPARE(name->toolTip(), longPath);
    QVERIFY(name->text().size() < longPath.size());
    QVERIFY(name->text().contains(QChar(0x2026)));
    QVERIFY(name->text().startsWith("/music/"));
    QVERIFY(name->text().endsWith("The End.wav"));
    QVERIFY(name->fontMetrics().horizontalAdvance(name->text()) <= name->contentsRect().width());
  }

  // Cancel, the close box and Escape all ask, with the job paused while the user decides; the
  // window stays either way, since the frame hides it when the job has ended.
  void stopQuestion_data() {
    QTest::addColumn<QString>("trigger");
    QTest::addColumn<int>("reply");
    QTest::addColumn<Messages>("expected");
    const Messages goOn = {WM_RIP_SUSPEND, WM_RIP_RESUME};
    const Messages stop = {WM_RIP_SUSPEND, WM_RIP_CANCEL, WM_RIP_RESUME};
    for (const char* trigger : {"cancel button", "close box", "escape"}) {
      QTest::addRow("%s, no", trigger) << trigger << int(QMessageBox::No) << goOn;
      QTest::addRow("%s, yes", trigger) << trigger << int(QMessageBox::Yes) << stop;
    }
  }
  void stopQuestion() {
    QFETCH(QString, trigger);
    QFETCH(int, reply);
    QFETCH(Messages, expected);
    CProgressDlg dialog(m_frame);
    dialog.Start();
    QString text, caption;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    Messages postedBeforeAsking;
    m_prompts.onModal = [&](QDialog& d) {
      auto* box = qobject_cast<QMessageBox*>(&d);
      if (!box) qFatal("the stop question is not a message box");
      text = box->text();
      caption = box->windowTitle();
      icon = box->icon();
      buttons = box->standardButtons();
      postedBeforeAsking = m_frame.posted;
      return reply;
    };

    if (trigger == "cancel button")
      QTest::mouseClick(Child<QPushButton>(dialog, "cancelButton"), Qt::LeftButton);
    else if (trigger == "close box")
      QVERIFY(!dialog.close());
    else
      QTest::keyClick(&dialog, Qt::Key_Escape);

    QCOMPARE(m_prompts.modalCount, 1);
    QCOMPARE(text, QString("Stop ripping?"));
    QCOMPARE(caption, QString("Confirmation"));
    QCOMPARE(icon, QMessageBox::Question);
    QCOMPARE(buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(postedBeforeAsking, Messages{WM_RIP_SUSPEND});
    QCOMPARE(m_frame.posted, expected);
    QVERIFY(m_frame.sent.empty());
    QVERIFY(dialog.isVisible());
    QVERIFY(dialog.findChild<QTimer*>()->isActive());
  }

  void enterNeitherClosesNorAsks() {
    CProgressDlg dialog(m_frame);
    dialog.Start();
    auto* cancel = Child<QPushButton>(dialog, "cancelButton");
    cancel->setFocus();
    QTest::keyClick(cancel, Qt::Key_Return);
    QTest::keyClick(&dialog, Qt::Key_Enter);
    QCOMPARE(m_prompts.modalCount, 0);
    QVERIFY(m_frame.posted.empty());
    QVERIFY(dialog.isVisible());
  }
};

}  // namespace korvi

QTEST_MAIN(korvi::ProgressDlgTest)
#include "progress_dlg_test.moc"
