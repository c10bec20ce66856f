#pragma once
// The "About" box and the application's icon.

#include <QDialog>
#include <QIcon>

namespace korvi {

// The program's icon from the embedded resources, in the sizes drawn for it.
QIcon AppIcon();

class CAboutDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CAboutDlg(QWidget* parent = nullptr);

  // What the box says about the program.
  static QString Notice();
};

// Shows the About box modally.
void ShowAbout(QWidget* parent);

}  // namespace korvi
