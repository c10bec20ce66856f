// Ripping from the window with AccurateRip verification against a local stand-in for the database:
// the verdict of each track in the Status column, the summary at the end of the job, and the log
// and cue sheet beside the files; with the three settings off, none of it.

#include <QTreeWidget>
#include <QtTest>
#include <fstream>
#include <iterator>

#include "app/commands.h"
#include "fixtures/accuraterip_db.h"
#include "fixtures/http_server.h"
#include "frame_fixture.h"
#include "ui/child_view.h"
#include "ui/prompts.h"
#include "ui/track_list_rows.h"
#include "verify/accuraterip_ids.h"

using namespace korvi;

namespace {

constexpr int kConfidence = 7;

std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The files in folder whose name ends with extension (".log").
std::vector<std::filesystem::path> FilesEndingIn(const std::filesystem::path& folder,
                                                 const std::string& extension) {
  std::vector<std::filesystem::path> found;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    if (entry.path().extension() == extension) found.push_back(entry.path());
  return found;
}

}  // namespace

class FrameAccurateRipTest : public QObject, protected fixtures::FrameFixture {
  Q_OBJECT

 private:
  std::unique_ptr<fixtures::HttpTestServer> m_server;
  std::string m_path;  // of the disc's file on the server
  QByteArray m_serverBefore;

  // A window on the image, files going to m_out without a chooser, the three settings as given.
  std::unique_ptr<CMainFrame> MakeFrameVerifying(bool verifyAndReport) {
    fixtures::FrameSetup setup;
    setup.settings = [this, verifyAndReport](CAppSettings& settings) {
      settings.ShowSelectorBeforeSave = false;
      settings.DefaultFolder = m_out.string();
      settings.VerifyAccurateRip = verifyAndReport;
      settings.WriteLog = verifyAndReport;
      settings.WriteCueSheet = verifyAndReport;
    };
    return MakeFrame(setup);
  }

 private slots:
  void initTestCase() { m_serverBefore = qgetenv("KORVI_ACCURATERIP_SERVER"); }

  void init() {
    QVERIFY(SetUpDisc(fixtures::AllAudioLayout(3, 400)));

    // The database knows one pressing: track 1 by its v2 sum, track 2 by a sum this rip does not
    // give, track 3 by its v1 sum.
    const std::vector<fixtures::ImageTrackSums> sums = fixtures::SumsOfImage(m_image);
    QCOMPARE(sums.size(), size_t(3));
    for (const fixtures::ImageTrackSums& sum : sums) QVERIFY(sum.v1 != sum.v2);
    const AccurateRipIds ids = fixtures::IdsOfImage(m_image.cue);
    QCOMPARE(ids.audioTracks, 3);
    m_path = AccurateRipPath(ids);
    const std::string pressing = fixtures::PressingBytes(
        ids, {{kConfidence, sums[0].v2}, {kConfidence, sums[1].v1 ^ 0x5A5A}, {kConfidence, sums[2].v1}});
    m_server = std::make_unique<fixtures::HttpTestServer>();
    QVERIFY(m_server->Start());
    m_server->SetResponse(m_path, {fixtures::HttpTestServer::Mode::kReply, 200, pressing, 0, false});
    // Read by the job when it starts, on the window's thread.
    qputenv("KORVI_ACCURATERIP_SERVER", QByteArray::fromStdString(m_server->HostPort()));
  }

  void cleanup() {
    m_serverBefore.isNull() ? qunsetenv("KORVI_ACCURATERIP_SERVER")
                            : qputenv("KORVI_ACCURATERIP_SERVER", m_serverBefore);
    m_server.reset();
    TearDownDisc();
  }

  void verdictsShowPerTrackAndInTheSummaryWithTheLog() {
    const auto frame = MakeFrameVerifying(true);
    QCOMPARE(frame->View()->Rows().RowCount(), 3);
    QVERIFY(RipAndWait(*frame, ID_RIP_WAV, 60000));

    QCOMPARE(RowText(*frame, 0, kColumnStatus), QStringLiteral("OK; Accurate (v2, confidence %1)").arg(kConfidence));
    QCOMPARE(RowText(*frame, 1, kColumnStatus), QStringLiteral("OK; Not accurate"));
    QCOMPARE(RowText(*frame, 2, kColumnStatus), QStringLiteral("OK; Accurate (v1, confidence %1)").arg(kConfidence));

    // The database was asked once, for this disc's file.
    const std::vector<fixtures::HttpTestServer::Request> requests = m_server->Requests();
    QCOMPARE(requests.size(), size_t(1));
    QCOMPARE(QString::fromStdString(requests.front().line),
             QString::fromStdString("GET " + m_path + " HTTP/1.1"));

    for (int track = 1; track <= 3; ++track)
      QVERIFY(std::filesystem::exists(m_out / ("Track " + std::to_string(track) + ".wav")));
    const std::vector<std::filesystem::path> logs = FilesEndingIn(m_out, ".log");
    const std::vector<std::filesystem::path> cues = FilesEndingIn(m_out, ".cue");
    QCOMPARE(logs.size(), size_t(1));
    QCOMPARE(cues.size(), size_t(1));
    const std::string log = ReadText(logs.front());
    QVERIFY2(log.find("2 of 3 tracks accurately ripped") != std::string::npos, log.c_str());
    const std::string cue = ReadText(cues.front());
    for (int track = 1; track <= 3; ++track) {
      const std::string line = "FILE \"Track " + std::to_string(track) + ".wav\" WAVE";
      QVERIFY2(cue.find(line) != std::string::npos, cue.c_str());
    }

    // Nothing failed: the summary comes as information, naming the log.
    QVERIFY2(m_prompts.errors.isEmpty(), qPrintable(m_prompts.errors.join('\n')));
    QCOMPARE(m_prompts.information,
             QStringList{QStringLiteral("2 of 3 tracks accurately ripped.\n\nThe rip log is in %1")
                             .arg(QString::fromStdString(logs.front().string()))});
  }

  // Failures and the summary come in one box.
  void aFailedFileIsReportedWithTheSummary() {
    const auto frame = MakeFrameVerifying(true);
    frame->Settings().ReplacePrompt = false;
    // Track 1 cannot be written where a folder of its name stands.
    std::filesystem::create_directory(m_out / "Track 1.wav");
    QVERIFY(RipAndWait(*frame, ID_RIP_WAV, 60000));

    QVERIFY(m_prompts.information.isEmpty());
    QCOMPARE(m_prompts.errors.size(), 1);
    const QString report = m_prompts.errors.front();
    QVERIFY2(report.startsWith(QStringLiteral("These files could not be written completely:\n\n%1\n")
                                   .arg(QString::fromStdString((m_out / "Track 1.wav").string()))),
             qPrintable(report));
    QVERIFY2(!report.contains(QStringLiteral("Track 3.wav")), qPrintable(report));
    const std::vector<std::filesystem::path> logs = FilesEndingIn(m_out, ".log");
    QCOMPARE(logs.size(), size_t(1));
    // A track whose file failed does not count as accurate, whatever its sums.
    QVERIFY2(report.endsWith(QStringLiteral("\n\n1 of 3 tracks accurately ripped.\n\nThe rip log is in %1")
                                 .arg(QString::fromStdString(logs.front().string()))),
             qPrintable(report));
  }

  void withTheSettingsOffTheDatabaseIsNotAskedAndNoReportsAreWritten() {
    const auto frame = MakeFrameVerifying(false);
    QVERIFY(RipAndWait(*frame, ID_RIP_WAV, 60000));

    for (int row = 0; row < 3; ++row) QCOMPARE(RowText(*frame, row, kColumnStatus), QStringLiteral("OK"));
    QVERIFY(m_server->Requests().empty());
    QVERIFY(m_prompts.errors.isEmpty());
    QVERIFY(m_prompts.information.isEmpty());
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(m_out))
      names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    QCOMPARE(names, (std::vector<std::string>{"Track 1.wav", "Track 2.wav", "Track 3.wav"}));
  }
};

QTEST_MAIN(FrameAccurateRipTest)
#include "frame_accuraterip_test.moc"
