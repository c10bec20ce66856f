#include "ui/help.h"

#include <QCoreApplication>
#include <QDesktopServices>

namespace korvi {
namespace {

UrlOpener& InstalledOpener() {
  static UrlOpener opener;
  return opener;
}

}  // namespace

QString HelpFilePathIn(const QString& appDir) { return appDir + QStringLiteral("/Ripvane.html"); }

QString HelpFilePath() { return HelpFilePathIn(QCoreApplication::applicationDirPath()); }

void SetHelpOpener(UrlOpener opener) { InstalledOpener() = std::move(opener); }

void OpenHelp(QWidget* /*parent*/) {
  const QUrl url = QUrl::fromLocalFile(HelpFilePath());
  if (const UrlOpener& opener = InstalledOpener())
    opener(url);
  else
    QDesktopServices::openUrl(url);
}

}  // namespace korvi
