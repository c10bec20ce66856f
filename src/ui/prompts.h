#pragma once
// Every dialog that code waits on goes through here, so tests can answer them without a person.

#include <QDialog>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

namespace korvi {

class Prompts {
 public:
  virtual ~Prompts() = default;

  // A modal message box with the caption "Error" and the error icon.
  virtual void ShowError(QWidget* parent, const QString& text);
  // A modal message box with the caption "Information" and the information icon.
  virtual void ShowInformation(QWidget* parent, const QString& text);
  // A modal folder chooser; an empty text when the user cancels.
  virtual QString ChooseFolder(QWidget* parent, const QString& title, const QString& startFolder);
  // Runs a dialog modally; its result (QDialog::Accepted or Rejected).
  virtual int RunModal(QDialog& dialog);

  // The boxes a running rip waits on (the overwrite question, a writer's error): shown without
  // blocking any other window, so that the progress window's Cancel stays usable, and waited for
  // in a local event loop. Their result, as RunModal's.
  virtual int RunJobBox(QDialog& dialog);
  virtual void ShowJobError(QWidget* parent, const QString& text);
  // Ends the job box that is open, if any, as if it were closed without an answer.
  void EndJobBox();

  // The prompts in use; the application's own unless a test installed others.
  static Prompts& Current();
  // Installs prompts for the rest of the process (tests); null restores the application's own.
  static void Install(Prompts* prompts);

 private:
  QPointer<QDialog> m_jobBox;
};

// Prompts that tests script: each call goes to the matching function, and records what was asked.
class ScriptedPrompts : public Prompts {
 public:
  std::function<int(QDialog&)> onModal = [](QDialog&) { return 0; };
  std::function<QString(const QString& title)> onChooseFolder = [](const QString&) { return QString(); };

  QStringList errors;
  QStringList information;
  QStringList folderTitles;
  int modalCount = 0;

  void ShowError(QWidget*, const QString& text) override { errors << text; }
  void ShowInformation(QWidget*, const QString& text) override { information << text; }
  QString ChooseFolder(QWidget*, const QString& title, const QString&) override {
    folderTitles << title;
    return onChooseFolder(title);
  }
  int RunModal(QDialog& dialog) override {
    ++modalCount;
    return onModal(dialog);
  }
  int RunJobBox(QDialog& dialog) override { return RunModal(dialog); }
  void ShowJobError(QWidget* parent, const QString& text) override { ShowError(parent, text); }
};

}  // namespace korvi
