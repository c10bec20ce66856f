#pragma once
// The application object: starts Qt and creates the one main window.

#include <QApplication>

namespace korvi {

class CVelmaroApp : public QApplication {
 public:
  CVelmaroApp(int& argc, char** argv);
  // Creates and shows the main window; false when it could not be created.
  bool InitInstance();
};

}  // namespace korvi
