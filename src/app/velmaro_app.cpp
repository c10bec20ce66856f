#include "app/velmaro_app.h"

#include "app/main_frame.h"
#include "app/translations.h"
#include "ui/about_dlg.h"

namespace korvi {

CVelmaroApp::CVelmaroApp(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName(QStringLiteral("Velmaro"));
  setDesktopFileName(QStringLiteral("org.korvi.KorviCdRipper"));
  setWindowIcon(AppIcon());
  InstallTranslations(*this);  // before any window exists, so that every text is translated
}

bool CVelmaroApp::InitInstance() {
  m_frame = new CMainFrame;
  m_frame->setAttribute(Qt::WA_DeleteOnClose);
  if (!m_frame->Create()) {
    delete m_frame;
    m_frame = nullptr;
    return false;
  }
  m_frame->resize(640, 480);
  m_frame->show();
  return true;
}

}  // namespace korvi
