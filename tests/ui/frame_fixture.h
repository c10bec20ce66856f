#pragma once
// What the window tests share: a scratch folder with an output folder in it, a disc image written
// for the test and listed as the window's only drive, scripted answers to every question the window
// asks, and windows made on them.

#include <QByteArray>
#include <QString>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include "app/main_frame.h"
#include "fixtures/disc_image_writer.h"
#include "fixtures/qt_waits.h"
#include "fixtures/temp_dir.h"
#include "ui/prompts.h"

namespace korvi::fixtures {

// How a test's window is made.
struct FrameSetup {
  bool lookupOnRead = false;  // the settings' GetDiscInfoAutomatically
  bool show = true;
  // Further settings, made before the window reads its first drive.
  std::function<void(CAppSettings&)> settings;
  RipReads reads;
  // KORVI_CD_IMAGES: by default the fixture's image.
  std::optional<QByteArray> images;
};

class FrameFixture {
 protected:
  // Makes the scratch folder and m_out in it, answers the window's questions with m_prompts (the
  // folder chooser with m_out), and writes the image of layout to disc.cue; false when it cannot.
  bool SetUpDisc(const ImageLayout& layout);
  void TearDownDisc();

  // A window on m_image; null when it could not be created.
  std::unique_ptr<CMainFrame> MakeFrame(const FrameSetup& setup = {});

  // Carries out command, then waits until the job it started has ended and the window has taken
  // the end; ms is the bound for the job, scaled. False when the bound passed first.
  static bool RipAndWait(CMainFrame& frame, int command, int ms);
  static QString RowText(CMainFrame& frame, int row, int column);

  std::unique_ptr<TempDir> m_dir;
  ScriptedPrompts m_prompts;
  WrittenImage m_image;
  std::filesystem::path m_out;
};

}  // namespace korvi::fixtures
