// APE rips from the window: the level chosen on the settings sheet's APE page is the level of the
// files that "Ripping APE files" writes, and a level the compressor refuses shows in the report of
// files that could not be written.

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QTreeWidget>

#include "ape_test_support.h"
#include "app/commands.h"
#include "app/main_frame.h"
#include "fixtures/disc_image_writer.h"
#include "fixtures/temp_dir.h"
#include "ui/child_view.h"
#include "ui/prompts.h"

namespace korvi::apetest {
namespace {

class ApeFrameRip : public testing::Test {
 protected:
  // The application goes before the process exits: Qt's own globals must outlive it.
  static void SetUpTestSuite() {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "ape_frame_rip_test";
    static char* argv[] = {name, nullptr};
    s_app = std::make_unique<QApplication>(argc, argv);
  }
  static void TearDownTestSuite() { s_app.reset(); }
  static inline std::unique_ptr<QApplication> s_app;

  void SetUp() override {
    Prompts::Install(&m_prompts);
    fixtures::ImageLayout layout;
    layout.tracks = {{false, 150, 0, {}}, {false, 1, 150, {}}};
    ASSERT_TRUE(fixtures::WriteCueBinImage(m_dir / "disc.cue", layout, &m_image, nullptr));
    m_out = m_dir / "out";
    std::filesystem::create_directory(m_out);
    m_prompts.onChooseFolder = [this](const QString&) { return QString::fromStdString(m_out.string()); };
    qputenv("KORVI_CD_IMAGES", QByteArray::fromStdString(m_image.cue.string()));
    m_frame = std::make_unique<CMainFrame>(m_dir.Folders());
    m_frame->Settings().GetDiscInfoAutomatically = false;
    // The levels are the matter here: no database to ask, no log or cue sheet among the files.
    m_frame->Settings().VerifyAccurateRip = false;
    m_frame->Settings().WriteLog = false;
    m_frame->Settings().WriteCueSheet = false;
    m_frame->Create();
    m_frame->show();
  }
  void TearDown() override {
    m_frame.reset();
    Prompts::Install(nullptr);
  }

  // The settings command, with the level chosen by its name on the APE page.
  void ChooseLevel(const QString& name) {
    m_prompts.onModal = [name](QDialog& sheet) {
      auto* levels = sheet.findChild<QComboBox*>("levelCombo");
      if (!levels) return int(QDialog::Rejected);
      levels->setCurrentIndex(levels->findText(name));
      return int(QDialog::Accepted);
    };
    m_frame->OnCommand(ID_SETTINGS);
  }

  void RipApeAndWait() {
    m_frame->OnCommand(ID_RIP_APE);
    QElapsedTimer clock;
    clock.start();
    while ((m_frame->IsRipping() || !m_frame->View()->TrackList()->isEnabled()) && clock.elapsed() < 60000)
      QApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_FALSE(m_frame->IsRipping());
  }

  Pcm TrackAudio(int track) {
    const std::vector<uint8_t> bin = ReadFile(m_image.bin);
    const int32_t begin = m_image.starts[size_t(track - 1)];
    const int32_t end =
        size_t(track) < m_image.starts.size() ? m_image.starts[size_t(track)] : m_image.leadOut;
    return Pcm(bin.begin() + long(begin) * 2352, bin.begin() + long(end) * 2352);
  }

  fixtures::TempDir m_dir;
  ScriptedPrompts m_prompts;
  fixtures::WrittenImage m_image;
  std::filesystem::path m_out;
  std::unique_ptr<CMainFrame> m_frame;
};

TEST_F(ApeFrameRip, TheLevelChosenInSettingsIsTheLevelOfTheFiles) {
  const std::pair<QString, int> levels[] = {
      {"Fast", 1000}, {"Normal", 2000}, {"High", 3000}, {"Extra High", 4000}, {"Insane", 5000}};
  for (const auto& [name, level] : levels) {
    SCOPED_TRACE(name.toStdString());
    ChooseLevel(name);
    ASSERT_EQ(m_frame->Settings().CompressionLevel, level);
    RipApeAndWait();
    EXPECT_TRUE(m_prompts.errors.isEmpty()) << m_prompts.errors.join("\n").toStdString();
    for (int track : {1, 2}) {
      const auto path = m_out / ("Track " + std::to_string(track) + ".ape");
      EXPECT_EQ(ParseApe(path).level, level);
      Pcm decoded;
      std::string error;
      ASSERT_TRUE(DecodeWithFfmpeg(path, &decoded, &error)) << error;
      EXPECT_TRUE(decoded == TrackAudio(track));
      std::filesystem::remove(path);
    }
  }
}

TEST_F(ApeFrameRip, AHandEditedLevelIsReportedWithTheFiles) {
  m_frame->Settings().CompressionLevel = 2500;
  RipApeAndWait();
  ASSERT_EQ(m_prompts.errors.size(), 1);
  const std::string report = m_prompts.errors.front().toStdString();
  EXPECT_NE(report.find((m_out / "Track 1.ape").string()), std::string::npos) << report;
  EXPECT_NE(report.find((m_out / "Track 2.ape").string()), std::string::npos) << report;
  EXPECT_NE(report.find("compression level 2500 is not one of"), std::string::npos) << report;
  EXPECT_FALSE(std::filesystem::exists(m_out / "Track 1.ape"));
}

}  // namespace
}  // namespace korvi::apetest
