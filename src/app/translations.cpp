#include "app/translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

// Q_INIT_RESOURCE names a function in the global namespace; calling it also keeps the catalogues'
// object file from being dropped out of the static library.
static void InitTranslationResources() { Q_INIT_RESOURCE(korvi_translations); }

namespace korvi {

bool InstallTranslations(QCoreApplication& app) {
  InitTranslationResources();
  const QLocale locale;
  // Qt's own texts (the buttons of message boxes and file dialogs), where the system has them.
  auto* qt = new QTranslator(&app);
  if (qt->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
               QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    app.installTranslator(qt);
  else
    delete qt;
  auto* own = new QTranslator(&app);
  if (!own->load(locale, QStringLiteral("korvi-cd-ripper"), QStringLiteral("_"),
                 QStringLiteral(":/korvi/translations"))) {
    delete own;
    return false;
  }
  app.installTranslator(own);
  return true;
}

}  // namespace korvi
