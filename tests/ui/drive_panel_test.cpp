// The drive panel follows a drive while the window is open: an opened tray and a drive without a
// disc empty the track list and say so, and a disc put in is read by itself. The drive is the
// emulated one, preloaded: the test runs itself again as a child with the library in it, and
// changes the drive's state through the drive's state file while the child's window runs.

#include <QComboBox>
#include <QtTest>
#include <fstream>

#include "fixtures/child_process.h"
#include "frame_fixture.h"
#include "ui/child_view.h"
#include "ui/drive_control_panel.h"
#include "ui/track_list_rows.h"

using namespace korvi;

namespace {

const char kDrive[] = "/dev/sr22";
// The panel asks the drive every second; a change shows well within this.
constexpr int kFollowMs = 10000;

fixtures::ImageLayout Layout(int tracks) {
  fixtures::ImageLayout layout;
  for (int i = 0; i < tracks; ++i) layout.tracks.push_back({false, 150, 0, {}});
  return layout;
}

void SetDriveState(const std::string& state) {
  std::ofstream(qgetenv("KORVI_TEST_DRIVE_STATE").toStdString(), std::ios::trunc) << state << '\n';
}

}  // namespace

class DrivePanelTest : public QObject, protected fixtures::FrameFixture {
  Q_OBJECT

 private slots:
  void init() { QVERIFY(SetUpDisc(Layout(3))); }
  void cleanup() { TearDownDisc(); }

  void panelFollowsTheTrayAndTheDisc() {
    if (qEnvironmentVariableIsEmpty("KORVI_FAKE_DRIVES"))
      RunWithTheEmulatedDrive();
    else
      FollowTheDrive();
  }

 private:
  // In the test's own process: the disc images, the state file, and the child that runs the window.
  void RunWithTheEmulatedDrive() {
    fixtures::WrittenImage other;
    QVERIFY(fixtures::WriteCueBinImage(m_dir->path() / "other.cue", Layout(2), &other, nullptr));
    const std::filesystem::path state = m_dir->path() / "drive-state";
    std::ofstream(state) << "closed\n";
    fixtures::ChildOptions options;
    options.args = {std::filesystem::read_symlink("/proc/self/exe").string(),
                    "panelFollowsTheTrayAndTheDisc"};
    options.env = {
        "LD_PRELOAD=" KORVI_FAKEDRIVE_PATH,
        std::string("KORVI_FAKE_DRIVES=") + kDrive + "=" + m_image.cue.string() + ",state=" + state.string(),
        "KORVI_TEST_DRIVE_STATE=" + state.string(), "KORVI_TEST_OTHER_DISC=" + other.cue.string(),
        "ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0"};
    const fixtures::ChildResult child =
        fixtures::RunChild(options, fixtures::Scaled(std::chrono::milliseconds(120000)));
    const QByteArray output = QByteArray::fromStdString(child.out + child.err);
    QVERIFY2(child.exited && child.status == 0, output.constData());
    QVERIFY2(output.contains("PASS   : DrivePanelTest::panelFollowsTheTrayAndTheDisc()"), output.constData());
  }

  // In the child, with the emulated drive: its disc is the parent's three-track image.
  void FollowTheDrive() {
    fixtures::FrameSetup setup;
    setup.images = QByteArray();
    auto frame = MakeFrame(setup);
    QVERIFY(frame);
    CDriveControlPanel* panel = frame->View()->DrivePanel();
    auto* drives = panel->findChild<QComboBox*>(QStringLiteral("driveList"));
    QVERIFY(drives);
    drives->setCurrentText(QString::fromLatin1(kDrive));
    QCOMPARE(QString::fromStdString(panel->DriveName()), QString::fromLatin1(kDrive));
    QCOMPARE(frame->View()->Rows().RowCount(), 3);

    SetDriveState("open");
    SCALED_TRY_COMPARE_WITH_TIMEOUT(panel->InfoText(), QStringLiteral("The drive's tray is open."),
                                    kFollowMs);
    QCOMPARE(frame->View()->Rows().RowCount(), 0);

    SetDriveState("nodisc");
    SCALED_TRY_COMPARE_WITH_TIMEOUT(panel->InfoText(), QStringLiteral("There is no disc in the drive."),
                                    kFollowMs);
    QCOMPARE(frame->View()->Rows().RowCount(), 0);

    // Another disc, read without a Refresh.
    SetDriveState("disc=" + qgetenv("KORVI_TEST_OTHER_DISC").toStdString());
    SCALED_TRY_COMPARE_WITH_TIMEOUT(frame->View()->Rows().RowCount(), 2, kFollowMs);
    QCOMPARE(panel->InfoText(), QString());
  }
};

QTEST_MAIN(DrivePanelTest)
#include "drive_panel_test.moc"
