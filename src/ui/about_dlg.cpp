#include "ui/about_dlg.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/prompts.h"

// The icons live in korvi_ui, a static library: naming their initializer keeps the linker from
// dropping them. Q_INIT_RESOURCE only works outside a namespace.
static void InitIconResources() { Q_INIT_RESOURCE(korvi_icons); }

namespace korvi {

QIcon AppIcon() {
  [[maybe_unused]] static const bool initialised = [] {
    InitIconResources();
    return true;
  }();
  QIcon icon;
  for (const char* size : {"16", "32", "48"})
    icon.addFile(QStringLiteral(":/icons/korvi-cd-ripper-%1.png").arg(QLatin1String(size)));
  icon.addFile(QStringLiteral(":/icons/korvi-cd-ripper.png"));
  return icon;
}

QString CAboutDlg::Notice() {
  return tr(
      "Korvi CD Ripper copies the tracks of audio CDs to WAV, MP3 and APE files. It reads the "
      "track list from the disc's table of contents and finds album and track titles in a local "
      "library of disc information or on a CDDB server, so the files are named after the music.\n\n"
      "It is free software, built on Qt for the window, libcdio for reading discs and LAME for "
      "MP3 encoding, with lossless APE compression for archives. It comes with no warranty.");
}

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(tr("About"));
  setWindowIcon(AppIcon());

  auto* icon = new QLabel;
  icon->setObjectName("iconLabel");
  icon->setPixmap(AppIcon().pixmap(48, 48));
  icon->setAlignment(Qt::AlignTop);

  auto* name = new QLabel("Korvi CD Ripper 2.2");
  name->setObjectName("nameLabel");
  QFont bold = name->font();
  bold.setBold(true);
  name->setFont(bold);

  auto* heading = new QHBoxLayout;
  heading->addWidget(icon);
  heading->addWidget(name, 1);

  auto* notice = new QPlainTextEdit(Notice());
  notice->setObjectName("noticeText");
  notice->setReadOnly(true);
  notice->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  notice->setMinimumSize(380, 150);
  auto* group = new QGroupBox(tr("CD Ripper Information:"));
  auto* groupLayout = new QVBoxLayout(group);
  groupLayout->addWidget(notice);

  auto* ok = new QPushButton(tr("OK"));
  ok->setObjectName("okButton");
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(heading);
  layout->addWidget(group, 1);
  layout->addLayout(buttons);
}

void ShowAbout(QWidget* parent) {
  CAboutDlg dialog(parent);
  Prompts::Current().RunModal(dialog);
}

}  // namespace korvi
