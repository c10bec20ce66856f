#pragma once
// Asks which format the tracks are ripped to.

#include <QDialog>

class QButtonGroup;
class QShowEvent;

namespace korvi {

class CSelectFormatDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CSelectFormatDlg(QWidget* parent = nullptr);

  // The OutputFormat of the radio button last chosen.
  int format = 0;

 protected:
  // Each run starts at WAVE.
  void showEvent(QShowEvent* event) override;

 private:
  void SelectWave();

  QButtonGroup* m_formats = nullptr;
};

// Asks for the output format: true and the format in `format` on OK, false on Cancel.
bool ChooseOutputFormat(QWidget* parent, int* format);

}  // namespace korvi
