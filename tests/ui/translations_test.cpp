// The window in German: with a German locale the program's catalogue is loaded at start, and the
// menus, the toolbar's tips and the settings sheet speak German.

#include "app/translations.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QTabWidget>
#include <QtTest>

#include "app/commands.h"
#include "app/main_frame.h"
#include "fixtures/temp_dir.h"
#include "ui/prompts.h"
#include "ui/settings_sheet.h"
#include "ui/toolbar_ex.h"

using namespace korvi;

class TranslationsTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    // As a German system would say; the catalogue is chosen by the default locale.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QVERIFY(InstallTranslations(*qApp));
  }

  void windowSpeaksGerman() {
    fixtures::TempDir dir;
    ScriptedPrompts prompts;
    Prompts::Install(&prompts);
    CMainFrame frame(dir.Folders());
    frame.Settings().GetDiscInfoAutomatically = false;
    QVERIFY(frame.Create());
    frame.show();

    const QList<QAction*> menus = frame.menuBar()->actions();
    QCOMPARE(menus.size(), 3);
    QCOMPARE(menus[0]->text(), QStringLiteral("&Datei"));
    QCOMPARE(menus[1]->text(), QStringLiteral("&Ansicht"));
    QCOMPARE(menus[2]->text(), QStringLiteral("&Hilfe"));
    const QList<QAction*> file = menus[0]->menu()->actions();
    QCOMPARE(file.first()->text(), QStringLiteral("&Rippen ...\tCtrl+R"));
    QCOMPARE(file.last()->text(), QStringLiteral("Been&den\tCtrl+X"));
    QCOMPARE(frame.Action(ID_SETTINGS)->statusTip(), QStringLiteral("Zeigt die Programmeinstellungen"));
    QCOMPARE(frame.ToolBar()->ToolTipAt(QPoint(CToolBarEx::kButtonPitch * 7 + 10, 20)),
             QStringLiteral("Einstellungen"));

    // Within a menu every accelerator is a different key.
    for (QAction* menu : menus) {
      QStringList keys;
      for (QAction* item : menu->menu()->actions()) {
        const QString text = item->text();
        const qsizetype amp = text.indexOf(QLatin1Char('&'));
        if (item->isSeparator() || amp < 0) continue;
        const QString key = text.mid(amp + 1, 1).toLower();
        QVERIFY2(!keys.contains(key), qPrintable(text));
        keys << key;
      }
    }

    QStringList tabs;
    QString title;
    prompts.onModal = [&](QDialog& dialog) {
      title = dialog.windowTitle();
      auto* sheet = dialog.findChild<QTabWidget*>(QStringLiteral("settingsTabs"));
      for (int i = 0; sheet && i < sheet->count(); ++i) tabs << sheet->tabText(i);
      return int(QDialog::Rejected);
    };
    frame.OnCommand(ID_SETTINGS);
    QCOMPARE(title, QStringLiteral("Einstellungen"));
    QCOMPARE(tabs, (QStringList{QStringLiteral("Allgemein"), QStringLiteral("MP3-Einstellungen"),
                                QStringLiteral("APE-Einstellungen"), QStringLiteral("FLAC"),
                                QStringLiteral("Opus")}));
    Prompts::Install(nullptr);
  }
};

QTEST_MAIN(TranslationsTest)
#include "translations_test.moc"
