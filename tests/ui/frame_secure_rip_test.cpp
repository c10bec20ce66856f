// A secure rip from the window through a drive that misreads: what the files hold, what the
// end-of-job report names and what the track list's Status column says, until the next disc read.

#include <QTreeWidget>
#include <QtTest>
#include <fstream>
#include <iterator>

#include "app/commands.h"
#include "app/main_frame.h"
#include "disc/cd_device.h"
#include "disc/offset_reader.h"
#include "fixtures/disc_image_writer.h"
#include "fixtures/faulty_drive.h"
#include "fixtures/temp_dir.h"
#include "ui/child_view.h"
#include "ui/prompts.h"
#include "ui/track_list_rows.h"

using namespace korvi;

namespace {

std::vector<uint8_t> WavPayload(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  constexpr size_t kHeader = 44;
  if (bytes.size() < kHeader) return {};
  return {bytes.begin() + kHeader, bytes.end()};
}

// "m:ss.ff", frames of 1/75 s.
QString PositionText(int frames) {
  return QString::asprintf("%d:%02d.%02d", frames / (60 * 75), frames / 75 % 60, frames % 75);
}

}  // namespace

class FrameSecureRipTest : public QObject {
  Q_OBJECT

 private:
  ScriptedPrompts m_prompts;
  std::unique_ptr<fixtures::TempDir> m_dir;
  fixtures::WrittenImage m_image;
  std::filesystem::path m_out;

  // A window on a four-track image, secure reading set, files going to m_out without a chooser.
  std::unique_ptr<CMainFrame> MakeFrame(int32_t offset) {
    qputenv("KORVI_CD_IMAGES", QByteArray::fromStdString(m_image.cue.string()));
    const UserFolders folders = m_dir->Folders();
    auto frame = std::make_unique<CMainFrame>(folders);
    CAppSettings& settings = frame->Settings();
    settings.GetDiscInfoAutomatically = false;
    settings.ShowSelectorBeforeSave = false;
    settings.DefaultFolder = m_out.string();
    settings.ReadMode = static_cast<int32_t>(ReadMode::kSecure);
    settings.ReadOffset = offset;
    settings.TestAndCopy = false;
    // How each track was read is the matter here, not what the database says of it.
    settings.VerifyAccurateRip = false;
    frame->Create();
    frame->show();
    return frame;
  }

 private slots:
  void init() {
    Prompts::Install(&m_prompts);
    m_prompts.errors.clear();
    m_dir = std::make_unique<fixtures::TempDir>();
    QVERIFY(fixtures::WriteCueBinImage(m_dir->path() / "disc.cue", fixtures::AllAudioLayout(4, 1200),
                                       &m_image, nullptr));
    m_out = m_dir->path() / "out";
    std::filesystem::create_directory(m_out);
  }
  void cleanup() {
    Prompts::Install(nullptr);
    m_dir.reset();
  }

  void faultsAreRepairedOrReportedAndShownPerTrack() {
    // The drive's offset, corrected from the settings: without it no track would match the image.
    constexpr int32_t kOffset = 30;
    const auto frame = MakeFrame(kOffset);
    QVERIFY(frame->Device() && frame->Device()->isImage());

    TrackListRows& rows = frame->View()->Rows();
    QCOMPARE(rows.RowCount(), 4);
    QCOMPARE(frame->View()->TrackList()->headerItem()->text(kColumnStatus), QStringLiteral("Status"));
    std::vector<TrackSpan> spans;
    for (int row = 0; row < 4; ++row) spans.push_back(RowSpan(rows, row));
    const int32_t badFirst = spans[2].begin + 900;
    const int32_t badLast = badFirst + 2;
    frame->FilterRipReadsForTests(
        [&](ISectorSource& device) {
          auto drive = std::make_unique<fixtures::FaultyDrive>(device, m_image.leadOut);
          drive->SetReadOffset(kOffset);
          drive->AddJitter(spans[0].begin + 300, spans[0].begin + 700, 7);
          drive->AddFlips(spans[1].begin + 300, spans[1].begin + 330, 1);
          drive->AddBadSpot(badFirst, badLast);
          return drive;
        },
        true);
    // The fourth row is not ripped: what it shows stays.
    rows.SetChecked(3, false);
    rows.SetText(3, kColumnStatus, "from before");

    frame->OnCommand(ID_RIP_WAV);
    QTRY_VERIFY_WITH_TIMEOUT(!frame->IsRipping(), 120000);
    QTRY_VERIFY(frame->View()->TrackList()->isEnabled());

    for (int track = 0; track < 2; ++track) {
      const std::filesystem::path file = m_out / ("Track " + std::to_string(track + 1) + ".wav");
      const std::vector<uint8_t> expected =
          fixtures::ReadBinSectors(m_image.bin, spans[track].begin, spans[track].end);
      QVERIFY(!expected.empty());
      QVERIFY2(WavPayload(file) == expected, file.c_str());
    }
    QVERIFY(!std::filesystem::exists(m_out / "Track 4.wav"));

    QCOMPARE(QString::fromStdString(rows.Text(0, kColumnStatus)), QStringLiteral("Repaired"));
    QCOMPARE(QString::fromStdString(rows.Text(1, kColumnStatus)), QStringLiteral("Repaired"));
    // The drive's bad sectors hold the disc's samples from kOffset earlier on: the last of them of
    // the sector before.
    const int64_t badSample = int64_t(badFirst) * kSamplesPerSector - kOffset;
    const QString position = PositionText(int(badSample / kSamplesPerSector) - spans[2].begin);
    QCOMPARE(QString::fromStdString(rows.Text(2, kColumnStatus)), QStringLiteral("Errors at ") + position);
    QCOMPARE(QString::fromStdString(rows.Text(3, kColumnStatus)), QStringLiteral("from before"));

    // Track 3 alone is named at the end, at the spot the row shows.
    QCOMPARE(m_prompts.errors.size(), 1);
    const QString report = m_prompts.errors.front();
    QVERIFY2(report.contains(QString::fromStdString((m_out / "Track 3.wav").string())), qPrintable(report));
    QVERIFY2(report.contains(QStringLiteral("could not be read exactly, at ") + position),
             qPrintable(report));
    QVERIFY2(
        !report.contains(QStringLiteral("Track 1.wav")) && !report.contains(QStringLiteral("Track 2.wav")),
        qPrintable(report));

    // A new read of the disc starts with no status.
    frame->OnCommand(ID_REFRESH);
    QCOMPARE(rows.RowCount(), 4);
    for (int row = 0; row < 4; ++row)
      QCOMPARE(QString::fromStdString(rows.Text(row, kColumnStatus)), QString());
  }

  // A reader that cannot be set up is named to the user, and nothing is ripped.
  void aRipThatCannotStartSaysWhy() {
    const auto frame = MakeFrame(0);
    frame->FilterRipReadsForTests(nullptr, true);
    // Secure reading describes the disc in a scratch folder, which cannot be made here.
    const QByteArray tmp = qgetenv("TMPDIR");
    qputenv("TMPDIR", QByteArray::fromStdString((m_dir->path() / "missing").string()));
    frame->OnCommand(ID_RIP_WAV);
    tmp.isNull() ? qunsetenv("TMPDIR") : qputenv("TMPDIR", tmp);
    QVERIFY(!frame->IsRipping());
    QCOMPARE(m_prompts.errors.size(), 1);
    QVERIFY2(m_prompts.errors.front().startsWith(
                 "The rip could not be started: secure reading could not set up its disc description: "),
             qPrintable(m_prompts.errors.front()));
    QVERIFY(std::filesystem::is_empty(m_out));
    QVERIFY(frame->View()->TrackList()->isEnabled());
  }
};

QTEST_MAIN(FrameSecureRipTest)
#include "frame_secure_rip_test.moc"
