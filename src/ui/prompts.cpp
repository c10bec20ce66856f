#include "ui/prompts.h"

#include <QCoreApplication>
#include <QDialog>
#include <QEventLoop>
#include <QFileDialog>
#include <QMessageBox>

namespace korvi {
namespace {
Prompts* g_installed = nullptr;
}

void Prompts::ShowError(QWidget* parent, const QString& text) {
  QMessageBox::critical(parent, QCoreApplication::translate("korvi::Prompts", "Error"), text);
}

void Prompts::ShowInformation(QWidget* parent, const QString& text) {
  QMessageBox::information(parent, QCoreApplication::translate("korvi::Prompts", "Information"), text);
}

QString Prompts::ChooseFolder(QWidget* parent, const QString& title, const QString& startFolder) {
  return QFileDialog::getExistingDirectory(parent, title, startFolder);
}

int Prompts::RunModal(QDialog& dialog) { return dialog.exec(); }

int Prompts::RunJobBox(QDialog& dialog) {
  dialog.setWindowModality(Qt::NonModal);
  QEventLoop loop;
  QObject::connect(&dialog, &QDialog::finished, &loop, &QEventLoop::quit);
  const QPointer<QDialog> outer = m_jobBox;
  m_jobBox = &dialog;
  dialog.show();
  dialog.raise();
  dialog.activateWindow();
  if (dialog.isVisible()) loop.exec(QEventLoop::DialogExec);
  m_jobBox = outer;
  return dialog.result();
}

void Prompts::ShowJobError(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::Critical, QCoreApplication::translate("korvi::Prompts", "Error"), text,
                  QMessageBox::Ok, parent);
  RunJobBox(box);
}

void Prompts::EndJobBox() {
  if (m_jobBox) m_jobBox->reject();
}

Prompts& Prompts::Current() {
  static Prompts own;
  return g_installed ? *g_installed : own;
}

void Prompts::Install(Prompts* prompts) { g_installed = prompts; }

}  // namespace korvi
