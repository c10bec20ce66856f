#pragma once
// The window's language: the program's own catalogue and Qt's, for the default locale (the system's
// unless the program set another).

class QCoreApplication;

namespace korvi {

// Installs the translators on the application, which owns them. True when the program's catalogue
// for the locale was found; English, the language of the sources, needs none.
bool InstallTranslations(QCoreApplication& app);

}  // namespace korvi
