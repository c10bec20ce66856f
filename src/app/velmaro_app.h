#pragma once
// The application object: starts Qt and creates the one main window.

#include <QApplication>

namespace korvi {

class CMainFrame;

class CVelmaroApp : public QApplication {
 public:
  CVelmaroApp(int& argc, char** argv);
  // Creates and shows the main window; false when it could not be created.
  bool InitInstance();
  CMainFrame* MainFrame() const { return m_frame; }

 private:
  CMainFrame* m_frame = nullptr;  // deleted when its window closes
};

}  // namespace korvi
