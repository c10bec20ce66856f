// The window on a drive: the drive panel follows it while the window is open (an opened tray and
// a drive without a disc empty the track list and say so, and a disc put in is read by itself),
// and a rip from it gives the disc's bytes. The drive is the emulated one, preloaded: each test
// runs itself again as a child with the library in it, and changes the drive's state through the
// drive's state file while the child's window runs.

#include <QComboBox>
#include <QtTest>
#include <algorithm>
#include <fstream>
#include <iterator>

#include "app/commands.h"
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
constexpr int kRipMs = 60000;

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
      RunWithTheEmulatedDrive("panelFollowsTheTrayAndTheDisc");
    else
      FollowTheDrive();
  }

  void ripFromTheDriveGivesTheDiscsBytes() {
    if (qEnvironmentVariableIsEmpty("KORVI_FAKE_DRIVES"))
      RunWithTheEmulatedDrive("ripFromTheDriveGivesTheDiscsBytes");
    else
      RipFromTheDrive();
  }

 private:
  // In the test's own process: the disc images, the state file, and the child that runs the window
  // for the test named slot.
  void RunWithTheEmulatedDrive(const char* slot) {
    fixtures::WrittenImage other;
    QVERIFY(fixtures::WriteCueBinImage(m_dir->path() / "other.cue", Layout(2), &other, nullptr));
    const std::filesystem::path state = m_dir->path() / "drive-state";
    std::ofstream(state) << "closed\n";
    fixtures::ChildOptions options;
    options.args = {std::filesystem::read_symlink("/proc/self/exe").string(), slot};
    options.env = {
        "LD_PRELOAD=" KORVI_FAKEDRIVE_PATH,
        std::string("KORVI_FAKE_DRIVES=") + kDrive + "=" + m_image.cue.string() + ",state=" + state.string(),
        "KORVI_TEST_DRIVE_STATE=" + state.string(), "KORVI_TEST_OTHER_DISC=" + other.cue.string(),
        "ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0"};
    const fixtures::ChildResult child =
        fixtures::RunChild(options, fixtures::Scaled(std::chrono::milliseconds(120000)));
    const QByteArray output = QByteArray::fromStdString(child.out + child.err);
    QVERIFY2(child.exited && child.status == 0, output.constData());
    QVERIFY2(output.contains(QByteArray("PASS   : DrivePanelTest::") + slot + "()"), output.constData());
  }

  CDriveControlPanel* ChooseTheDrive(CMainFrame& frame) {
    CDriveControlPanel* panel = frame.View()->DrivePanel();
    auto* drives = panel->findChild<QComboBox*>(QStringLiteral("driveList"));
    if (!drives) return nullptr;
    drives->setCurrentText(QString::fromLatin1(kDrive));
    return panel->DriveName() == kDrive ? panel : nullptr;
  }

  // In the child: a rip from the window, secure as a drive is read, gives each track's bytes.
  void RipFromTheDrive() {
    fixtures::FrameSetup setup;
    setup.images = QByteArray();
    auto frame = MakeFrame(setup);
    QVERIFY(frame);
    QVERIFY(ChooseTheDrive(*frame));
    QCOMPARE(frame->View()->Rows().RowCount(), 3);
    QVERIFY(RipAndWait(*frame, ID_RIP_WAV, kRipMs));
    // The child's own image has the parent's layout, so the same bytes.
    for (size_t track = 0; track < 3; ++track) {
      const int32_t last = track + 1 < 3 ? m_image.starts[track + 1] - 1 : m_image.leadOut - 1;
      const std::vector<uint8_t> disc = fixtures::ReadBinSectors(m_image.bin, m_image.starts[track], last);
      std::ifstream in(m_out / ("Track " + std::to_string(track + 1) + ".wav"), std::ios::binary);
      const std::string file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
      QCOMPARE(file.size(), disc.size() + 44);
      QVERIFY2(std::equal(disc.begin(), disc.end(), file.begin() + 44,
                          [](uint8_t a, char b) { return a == uint8_t(b); }),
               ("track " + std::to_string(track + 1)).c_str());
    }
  }

  // In the child, with the emulated drive: its disc is the parent's three-track image.
  void FollowTheDrive() {
    fixtures::FrameSetup setup;
    setup.images = QByteArray();
    auto frame = MakeFrame(setup);
    QVERIFY(frame);
    CDriveControlPanel* panel = ChooseTheDrive(*frame);
    QVERIFY(panel);
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
