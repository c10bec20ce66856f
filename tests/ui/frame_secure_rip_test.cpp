// A secure rip from the window through a drive that misreads: what the files hold, what the
// end-of-job report names and what the track list's Status column says, until the next disc read.

#include <QTreeWidget>
#include <QtTest>
#include <fstream>
#include <iterator>

#include "app/commands.h"
#include "disc/cd_device.h"
#include "disc/offset_reader.h"
#include "fixtures/faulty_drive.h"
#include "frame_fixture.h"
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

class FrameSecureRipTest : public QObject, protected fixtures::FrameFixture {
  Q_OBJECT

 private:
  // A window on a four-track image, secure reading set, files going to m_out without a chooser; its
  // rips read as reads says, an image as a drive is.
  std::unique_ptr<CMainFrame> MakeFrameReading(int32_t offset, RipReads reads) {
    reads.imagesAsDrives = true;
    fixtures::FrameSetup setup;
    setup.settings = [this, offset](CAppSettings& settings) {
      settings.ShowSelectorBeforeSave = false;
      settings.DefaultFolder = m_out.string();
      settings.ReadMode = static_cast<int32_t>(ReadMode::kSecure);
      settings.ReadOffset = offset;
      settings.TestAndCopy = false;
      // How each track was read is the matter here, not what the database says of it.
      settings.VerifyAccurateRip = false;
    };
    setup.reads = std::move(reads);
    return MakeFrame(setup);
  }

 private slots:
  void init() { QVERIFY(SetUpDisc(fixtures::AllAudioLayout(4, 1200))); }
  void cleanup() { TearDownDisc(); }

  void faultsAreRepairedOrReportedAndShownPerTrack() {
    // The drive's offset, corrected from the settings: without it no track would match the image.
    constexpr int32_t kOffset = 30;
    // The drive in front of the image misreads where the test says once it knows the rows.
    fixtures::FaultyDrive* drive = nullptr;
    RipReads reads;
    reads.filter = [&](ISectorSource& image) {
      auto faulty = std::make_unique<fixtures::FaultyDrive>(image, m_image.leadOut);
      drive = faulty.get();
      return faulty;
    };
    const auto frame = MakeFrameReading(kOffset, std::move(reads));
    QVERIFY(frame->Device() && frame->Device()->isImage());
    QVERIFY(drive);

    TrackListRows& rows = frame->View()->Rows();
    QCOMPARE(rows.RowCount(), 4);
    QCOMPARE(frame->View()->TrackList()->headerItem()->text(kColumnStatus), QStringLiteral("Status"));
    std::vector<TrackSpan> spans;
    for (int row = 0; row < 4; ++row) spans.push_back(RowSpan(rows, row));
    const int32_t badFirst = spans[2].begin + 900;
    const int32_t badLast = badFirst + 2;
    drive->SetReadOffset(kOffset);
    drive->AddJitter(spans[0].begin + 300, spans[0].begin + 700, 7);
    drive->AddFlips(spans[1].begin + 300, spans[1].begin + 330, 1);
    drive->AddBadSpot(badFirst, badLast);
    // The fourth row is not ripped: what it shows stays.
    rows.SetChecked(3, false);
    rows.SetText(3, kColumnStatus, "from before");

    QVERIFY(RipAndWait(*frame, ID_RIP_WAV, 120000));

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
    const auto frame = MakeFrameReading(0, {});
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
