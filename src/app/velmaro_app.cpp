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
  auto* frame = new CMainFrame;
  frame->setAttribute(Qt::WA_DeleteOnClose);  // deleted when its window closes
  if (!frame->Create()) {
    delete frame;
    return false;
  }
  frame->resize(640, 480);
  frame->show();
  return true;
}

}  // namespace korvi
