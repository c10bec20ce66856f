#include "frame_fixture.h"

#include <QTreeWidget>

#include "ui/child_view.h"
#include "ui/track_list_rows.h"

namespace korvi::fixtures {

bool FrameFixture::SetUpDisc(const ImageLayout& layout) {
  m_dir = std::make_unique<TempDir>();
  m_prompts = ScriptedPrompts();
  Prompts::Install(&m_prompts);
  m_out = m_dir->path() / "out";
  std::filesystem::create_directory(m_out);
  m_prompts.onChooseFolder = [this](const QString&) { return QString::fromStdString(m_out.string()); };
  return WriteCueBinImage(m_dir->path() / "disc.cue", layout, &m_image, nullptr);
}

void FrameFixture::TearDownDisc() {
  Prompts::Install(nullptr);
  m_dir.reset();
}

std::unique_ptr<CMainFrame> FrameFixture::MakeFrame(const FrameSetup& setup) {
  qputenv("KORVI_CD_IMAGES", setup.images.value_or(QByteArray::fromStdString(m_image.cue.string())));
  auto frame = std::make_unique<CMainFrame>(m_dir->Folders(), setup.reads);
  frame->Settings().GetDiscInfoAutomatically = setup.lookupOnRead;
  if (setup.settings) setup.settings(frame->Settings());
  if (!frame->Create()) return nullptr;
  if (setup.show) frame->show();
  return frame;
}

bool FrameFixture::RipAndWait(CMainFrame& frame, int command, int ms) {
  frame.OnCommand(command);
  return QTest::qWaitFor([&] { return !frame.IsRipping(); }, ScaledMs(ms)) &&
         QTest::qWaitFor([&] { return frame.View()->TrackList()->isEnabled(); }, ScaledMs(KORVI_TRY_DEFAULT_MS));
}

QString FrameFixture::RowText(CMainFrame& frame, int row, int column) {
  return QString::fromStdString(frame.View()->Rows().Text(row, column));
}

}  // namespace korvi::fixtures
