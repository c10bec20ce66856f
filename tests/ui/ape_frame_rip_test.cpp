// APE rips from the window: the level chosen on the settings sheet's APE page is the level of the
// files that "Ripping APE files" writes, and a level the compressor refuses shows in the report of
// files that could not be written.

#include <QComboBox>
#include <QDialog>
#include <QtTest>

#include "ape_test_support.h"
#include "app/commands.h"
#include "frame_fixture.h"

using namespace korvi;
using apetest::Pcm;

class ApeFrameRipTest : public QObject, protected fixtures::FrameFixture {
  Q_OBJECT

 private:
  // The levels are the matter here: no database to ask, no log or cue sheet among the files.
  std::unique_ptr<CMainFrame> MakeApeFrame() {
    fixtures::FrameSetup setup;
    setup.settings = [](CAppSettings& settings) {
      settings.VerifyAccurateRip = false;
      settings.WriteLog = false;
      settings.WriteCueSheet = false;
    };
    return MakeFrame(setup);
  }

  // The settings command, with the level chosen by its name on the APE page.
  void ChooseLevel(CMainFrame& frame, const QString& name) {
    m_prompts.onModal = [name](QDialog& sheet) {
      auto* levels = sheet.findChild<QComboBox*>("levelCombo");
      if (!levels) return int(QDialog::Rejected);
      levels->setCurrentIndex(levels->findText(name));
      return int(QDialog::Accepted);
    };
    frame.OnCommand(ID_SETTINGS);
  }

  Pcm TrackAudio(int track) const {
    const std::vector<uint8_t> bin = apetest::ReadFile(m_image.bin);
    const int32_t begin = m_image.starts[size_t(track - 1)];
    const int32_t end = size_t(track) < m_image.starts.size() ? m_image.starts[size_t(track)] : m_image.leadOut;
    return Pcm(bin.begin() + long(begin) * 2352, bin.begin() + long(end) * 2352);
  }

 private slots:
  void init() {
    fixtures::ImageLayout layout;
    layout.tracks = {{false, 150, 0, {}}, {false, 1, 150, {}}};
    QVERIFY(SetUpDisc(layout));
  }
  void cleanup() { TearDownDisc(); }

  void theLevelChosenInSettingsIsTheLevelOfTheFiles_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("level");
    QTest::newRow("fast") << "Fast" << 1000;
    QTest::newRow("normal") << "Normal" << 2000;
    QTest::newRow("high") << "High" << 3000;
    QTest::newRow("extra high") << "Extra High" << 4000;
    QTest::newRow("insane") << "Insane" << 5000;
  }
  void theLevelChosenInSettingsIsTheLevelOfTheFiles() {
    QFETCH(QString, name);
    QFETCH(int, level);
    const auto frame = MakeApeFrame();
    ChooseLevel(*frame, name);
    QCOMPARE(frame->Settings().CompressionLevel, level);
    QVERIFY(RipAndWait(*frame, ID_RIP_APE, 60000));
    QVERIFY2(m_prompts.errors.isEmpty(), qPrintable(m_prompts.errors.join('\n')));
    for (int track : {1, 2}) {
      const auto path = m_out / ("Track " + std::to_string(track) + ".ape");
      QCOMPARE(int(apetest::ParseApe(path).level), level);
      Pcm decoded;
      std::string error;
      QVERIFY2(apetest::DecodeWithFfmpeg(path, &decoded, &error), error.c_str());
      QVERIFY(decoded == TrackAudio(track));
    }
  }

  void aHandEditedLevelIsReportedWithTheFiles() {
    const auto frame = MakeApeFrame();
    frame->Settings().CompressionLevel = 2500;
    QVERIFY(RipAndWait(*frame, ID_RIP_APE, 60000));
    QCOMPARE(m_prompts.errors.size(), 1);
    const QString report = m_prompts.errors.front();
    QVERIFY2(report.contains(QString::fromStdString((m_out / "Track 1.ape").string())), qPrintable(report));
    QVERIFY2(report.contains(QString::fromStdString((m_out / "Track 2.ape").string())), qPrintable(report));
    QVERIFY2(report.contains("compression level 2500 is not one of"), qPrintable(report));
    QVERIFY(!std::filesystem::exists(m_out / "Track 1.ape"));
  }
};

QTEST_MAIN(ApeFrameRipTest)
#include "ape_frame_rip_test.moc"
