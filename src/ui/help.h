#pragma once
// The help file, Ripvane.html, which is installed beside the program.

#include <QString>
#include <QUrl>
#include <functional>

class QWidget;

namespace korvi {

// "<appDir>/Ripvane.html".
QString HelpFilePathIn(const QString& appDir);

// The help file beside the running executable; the current folder plays no part.
QString HelpFilePath();

// Hands a URL to the desktop; true when something took it.
using UrlOpener = std::function<bool(const QUrl&)>;

// Replaces the desktop's opener for the rest of the process (tests); an empty one restores it.
void SetHelpOpener(UrlOpener opener);

// Opens the help file in the desktop's viewer. A viewer that fails says so itself.
void OpenHelp(QWidget* parent);

}  // namespace korvi
