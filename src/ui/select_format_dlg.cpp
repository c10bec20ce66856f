#include "ui/select_format_dlg.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "formats/output_format.h"
#include "ui/prompts.h"

namespace korvi {

CSelectFormatDlg::CSelectFormatDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(tr("Select output format"));

  auto* group = new QGroupBox(tr("Format:"));
  auto* radios = new QVBoxLayout(group);
  m_formats = new QButtonGroup(this);
  for (const OutputFormatInfo& choice : OutputFormats()) {
    auto* radio = new QRadioButton(QString::fromLatin1(choice.chooserText));
    radio->setObjectName(QString::fromLatin1(choice.chooserName));
    m_formats->addButton(radio, choice.id);
    radios->addWidget(radio);
  }
  // Every way of checking a radio (mouse, arrow keys, shortcut) chooses its format.
  connect(m_formats, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
    if (checked) format = id;
  });
  SelectWave();

  auto* ok = new QPushButton(tr("OK"));
  ok->setObjectName("okButton");
  ok->setDefault(true);
  auto* cancel = new QPushButton(tr("Cancel"));
  cancel->setObjectName("cancelButton");
  connect(ok, &QPushButton::clicked, this, &CSelectFormatDlg::accept);
  connect(cancel, &QPushButton::clicked, this, &CSelectFormatDlg::reject);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok);
  buttons->addWidget(cancel);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(group);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

void CSelectFormatDlg::SelectWave() {
  m_formats->button(kFormatWave)->setChecked(true);
  // Already checked from an earlier run, the radio sends no toggle; what is shown is what OK gives.
  format = kFormatWave;
}

void CSelectFormatDlg::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) SelectWave();
  QDialog::showEvent(event);
}

bool ChooseOutputFormat(QWidget* parent, int* format) {
  CSelectFormatDlg dialog(parent);
  if (Prompts::Current().RunModal(dialog) != QDialog::Accepted) return false;
  *format = dialog.format;
  return true;
}

}  // namespace korvi
