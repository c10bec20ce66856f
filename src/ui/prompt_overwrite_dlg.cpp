#include "ui/prompt_overwrite_dlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "messages/frame_messages.h"
#include "ui/prompts.h"

namespace korvi {
namespace {
constexpr int kQuestionMinimumWidth = 360;
}

CPromptOverwriteDlg::CPromptOverwriteDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(tr("Confirmation"));

  m_question = new QLabel;
  m_question->setObjectName("questionLabel");
  m_question->setWordWrap(true);
  m_question->setMinimumWidth(kQuestionMinimumWidth);

  auto* row = new QHBoxLayout;
  AddChoice(row, QT_TR_NOOP("&Yes"), "yesButton", kOverwriteYes);
  AddChoice(row, QT_TR_NOOP("&No"), "noButton", kOverwriteNo);
  AddChoice(row, QT_TR_NOOP("Y&es to All"), "yesToAllButton", kOverwriteYesToAll);
  AddChoice(row, QT_TR_NOOP("N&o to All"), "noToAllButton", kOverwriteNoToAll);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_question);
  layout->addLayout(row);
}

void CPromptOverwriteDlg::AddChoice(QHBoxLayout* row, const char* text, const char* name, int choice) {
  auto* button = new QPushButton(tr(text));  // marked with QT_TR_NOOP where called
  button->setObjectName(QString::fromLatin1(name));
  connect(button, &QPushButton::clicked, this, [this, choice] {
    answer = choice;
    accept();
  });
  row->addWidget(button);
}

void CPromptOverwriteDlg::LoadQuestion() {
  m_question->setText(tr("File %1 already exists, overwrite?").arg(fileName));
}

void CPromptOverwriteDlg::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) {
    LoadQuestion();
    // The window was sized before the question was in it; a wrapped path needs more lines.
    adjustSize();
  }
  QDialog::showEvent(event);
}

bool AskOverwrite(QWidget* parent, const QString& path, int32_t* answer) {
  CPromptOverwriteDlg dialog(parent);
  dialog.fileName = path;
  const int result = Prompts::Current().RunJobBox(dialog);
  if (result != QDialog::Accepted || dialog.answer < 0) {
    *answer = kOverwriteNo;
    return false;
  }
  *answer = dialog.answer;
  return true;
}

}  // namespace korvi
