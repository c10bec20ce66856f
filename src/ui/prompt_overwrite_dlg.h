#pragma once
// Asked during a rip when a file to be written is there already.

#include <QDialog>
#include <QString>
#include <cstdint>

class QHBoxLayout;
class QLabel;
class QShowEvent;

namespace korvi {

class CPromptOverwriteDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CPromptOverwriteDlg(QWidget* parent = nullptr);

  // The file asked about; shown when the dialog opens.
  QString fileName;
  // The OverwriteChoice of the button pressed; -1 until one is.
  int answer = -1;

  // Puts the question for fileName into the dialog now.
  void LoadQuestion();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void AddChoice(QHBoxLayout* row, const char* text, const char* name, int choice);

  QLabel* m_question = nullptr;
};

// Asks about overwriting `path`. Stores the choice in `answer` and returns true when one of the
// four answers was chosen; a dialog closed without one stores No and returns false.
bool AskOverwrite(QWidget* parent, const QString& path, int32_t* answer);

}  // namespace korvi
