#include "ui/prompts.h"

#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>

namespace korvi {
namespace {
Prompts* g_installed = nullptr;
}

void Prompts::ShowError(QWidget* parent, const QString& text) {
  QMessageBox::critical(parent, QStringLiteral("Error"), text);
}

QString Prompts::ChooseFolder(QWidget* parent, const QString& title, const QString& startFolder) {
  return QFileDialog::getExistingDirectory(parent, title, startFolder);
}

int Prompts::RunModal(QDialog& dialog) { return dialog.exec(); }

Prompts& Prompts::Current() {
  static Prompts own;
  return g_installed ? *g_installed : own;
}

void Prompts::Install(Prompts* prompts) { g_installed = prompts; }

}  // namespace korvi
