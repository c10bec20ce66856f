// The About box, the application icon, and the help file: where it is looked for, how it is
// opened, and what it says.

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QXmlStreamReader>
#include <QtTest>

#include "ui/about_dlg.h"
#include "ui/help.h"
#include "ui/prompts.h"

namespace korvi {
namespace {

QByteArray ReadAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// What a reader of the help page sees: all its text outside <style>, the texts set as menu
// commands, and the text of each table row, blanks collapsed. `error` says where the file is not
// well-formed.
struct HelpPage {
  QString text;
  QStringList menus;
  QStringList rows;
  QString error;
};

HelpPage ReadHelpPage(const QByteArray& html) {
  HelpPage page;
  QXmlStreamReader reader(html);
  QString menu, row;
  bool inStyle = false, inMenu = false, inRow = false;
  while (!reader.atEnd()) {
    const QXmlStreamReader::TokenType token = reader.readNext();
    const QStringView name = reader.name();
    if (token == QXmlStreamReader::StartElement) {
      inStyle = inStyle || name == u"style";
      inRow = inRow || name == u"tr";
      if (reader.attributes().value("class") == u"menu") inMenu = true;
    } else if (token == QXmlStreamReader::EndElement) {
      if (name == u"style") inStyle = false;
      if (inMenu) page.menus << std::exchange(menu, QString()).simplified();
      if (name == u"tr") page.rows << std::exchange(row, QString()).simplified();
      inMenu = false;
      inRow = inRow && name != u"tr";
      page.text += ' ';
      row += ' ';
    } else if (token == QXmlStreamReader::Characters && !inStyle) {
      page.text += reader.text();
      if (inMenu) menu += reader.text();
      if (inRow) row += reader.text();
    }
  }
  if (reader.hasError())
    page.error = QStringLiteral("line %1: %2").arg(reader.lineNumber()).arg(reader.errorString());
  page.text = page.text.simplified();
  return page;
}

QString SourceHelpFile() { return QFINDTESTDATA("../../src/resources/help/Ripvane.html"); }

// Restores the working folder when a test changed it.
class CwdGuard {
 public:
  CwdGuard() : m_saved(QDir::currentPath()) {}
  ~CwdGuard() { QDir::setCurrent(m_saved); }
  CwdGuard(const CwdGuard&) = delete;
  CwdGuard& operator=(const CwdGuard&) = delete;

 private:
  QString m_saved;
};

}  // namespace

class AboutHelpTest : public QObject {
  Q_OBJECT

 private:
  ScriptedPrompts m_prompts;

 private slots:
  void init() {
    m_prompts = ScriptedPrompts();
    Prompts::Install(&m_prompts);
  }
  void cleanup() {
    Prompts::Install(nullptr);
    SetHelpOpener({});
  }

  void aboutBoxShowsNameAndNotice() {
    CAboutDlg about;
    QCOMPARE(about.windowTitle(), QString("About"));
    QStringList labels;
    for (auto* label : about.findChildren<QLabel*>()) labels << label->text();
    QVERIFY2(labels.contains("Korvi CD Ripper 2.2"), qPrintable(labels.join(" | ")));
    auto* icon = about.findChild<QLabel*>("iconLabel");
    QVERIFY(icon && !icon->pixmap().isNull());

    auto* group = about.findChild<QGroupBox*>();
    QVERIFY(group);
    QCOMPARE(group->title(), QString("CD Ripper Information:"));
    auto* notice = group->findChild<QPlainTextEdit*>();
    QVERIFY(notice);
    QVERIFY(notice->isReadOnly());
    QCOMPARE(notice->toPlainText(), CAboutDlg::Notice());
    QVERIFY(notice->toPlainText().count('.') >= 3);
    for (const char* word : {"WAV", "MP3", "APE", "CDDB", "Qt", "libcdio", "LAME", "free software"})
      QVERIFY2(notice->toPlainText().contains(word), word);

    auto* ok = about.findChild<QPushButton*>("okButton");
    QVERIFY(ok);
    QCOMPARE(ok->text(), QString("OK"));
    QVERIFY(ok->isDefault());
    about.show();
    ok->click();
    QCOMPARE(about.result(), static_cast<int>(QDialog::Accepted));
  }

  void showAboutRunsThroughThePrompts() {
    QString caption;
    m_prompts.onModal = [&caption](QDialog& dialog) {
      caption = qobject_cast<CAboutDlg*>(&dialog) ? dialog.windowTitle() : QString("not the About box");
      return static_cast<int>(QDialog::Accepted);
    };
    ShowAbout(nullptr);
    QCOMPARE(m_prompts.modalCount, 1);
    QCOMPARE(caption, QString("About"));
  }

  void appIconHasItsSizes() {
    const QIcon icon = AppIcon();
    QVERIFY(!icon.isNull());
    const QList<QSize> sizes = icon.availableSizes();
    for (int side : {16, 32, 48, 256})
      QVERIFY2(sizes.contains(QSize(side, side)), qPrintable(QString::number(side)));
    // Drawn, not blank: the disc's centre is transparent, its body is not.
    const QImage image = icon.pixmap(256, 256).toImage();
    QCOMPARE(image.size(), QSize(256, 256));
    QCOMPARE(qAlpha(image.pixel(112, 124)), 0);
    QCOMPARE(qAlpha(image.pixel(60, 60)), 255);
  }

  void helpFileIsBesideTheExecutable() {
    const QString expected = QCoreApplication::applicationDirPath() + "/Ripvane.html";
    QCOMPARE(HelpFilePath(), expected);
    QTemporaryDir elsewhere;
    QVERIFY(elsewhere.isValid());
    CwdGuard guard;
    QVERIFY(QDir::setCurrent(elsewhere.path()));
    QCOMPARE(HelpFilePath(), expected);

    QCOMPARE(HelpFilePathIn("/opt/My Programs/korvi"), QString("/opt/My Programs/korvi/Ripvane.html"));
    QCOMPARE(HelpFilePathIn("/usr/bin"), QString("/usr/bin/Ripvane.html"));
  }

  void openHelpHandsTheFileUrlToTheOpener() {
    QList<QUrl> opened;
    SetHelpOpener([&opened](const QUrl& url) {
      opened << url;
      return false;  // a failing viewer is not the program's to report
    });
    OpenHelp(nullptr);
    QCOMPARE(opened.size(), 1);
    QVERIFY(opened[0].isLocalFile());
    QCOMPARE(opened[0].toLocalFile(), HelpFilePath());
    QCOMPARE(opened[0], QUrl::fromLocalFile(HelpFilePath()));
    QVERIFY(m_prompts.errors.isEmpty());
    QCOMPARE(m_prompts.modalCount, 0);
  }

  // The build copies the help file beside korvi-cd-ripper (src/app of the build tree).
  void buildPutsTheHelpFileBesideTheProgram() {
    const QString built = QCoreApplication::applicationDirPath() + "/../../src/app/Ripvane.html";
    const QByteArray copy = ReadAll(built);
    QVERIFY2(!copy.isEmpty(), qPrintable(built));
    QCOMPARE(copy, ReadAll(SourceHelpFile()));
  }

  void helpFileIsSelfContainedAndWellFormed() {
    const QByteArray html = ReadAll(SourceHelpFile());
    QVERIFY(html.size() > 4000);
    QVERIFY(html.startsWith("<!DOCTYPE html>"));
    const HelpPage page = ReadHelpPage(html);
    QVERIFY2(page.error.isEmpty(), qPrintable(page.error));
    QVERIFY(page.text.startsWith("Korvi CD Ripper Help"));
    // Nothing is fetched from elsewhere: no scripts, style sheets, images or remote links.
    static const QRegularExpression external("(<script|<link|<img|src=|url\\(|href=\"(?!#))");
    const QRegularExpressionMatch match = external.match(QString::fromUtf8(html));
    QVERIFY2(!match.hasMatch(), qPrintable(match.captured(0)));
  }

  // Each menu command is named as a command, with its key in the same row where it has one.
  void helpFileDescribesEveryCommand_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("key");
    const std::pair<const char*, const char*> commands[] = {
        {"&Ripping ...", "Ctrl+R"},
        {"Ripping &WAV files", ""},
        {"Ripping &MP3 files", ""},
        {"Ripping &APE files", ""},
        {"Rip to F&LAC ...", ""},
        {"Rip to Op&us ...", ""},
        {"&Select All Track(s)", ""},
        {"S&elect None", ""},
        {"&Edit Track", "double-click"},
        {"&Play", "Ctrl+P"},
        {"St&op", "Ctrl+S"},
        {"&Get Audio CD Info ...", "Ctrl+I"},
        {"Re&fresh", ""},
        {"Se&ttings", ""},
        {"E&xit", "Ctrl+X"},
        {"&Tool Bar", ""},
        {"&Status Bar", ""},
        {"Help", "F1"},
        {"&About ...", ""},
    };
    for (const auto& [command, key] : commands)
      QTest::newRow(command) << QString(command).remove('&') << QString(key);
  }
  void helpFileDescribesEveryCommand() {
    QFETCH(QString, command);
    QFETCH(QString, key);
    const HelpPage page = ReadHelpPage(ReadAll(SourceHelpFile()));
    QVERIFY2(page.error.isEmpty(), qPrintable(page.error));
    QVERIFY2(page.menus.contains(command), qPrintable(page.menus.join(" | ")));
    if (key.isEmpty()) return;
    const QString rowStart = command + ' ' + key + ' ';
    QVERIFY2(std::any_of(page.rows.begin(), page.rows.end(),
                         [&](const QString& row) { return row.startsWith(rowStart); }),
             qPrintable(rowStart));
  }

  // The window, every setting with its default, the files, and the command-line tool.
  void helpFileDescribesTheRest_data() {
    QTest::addColumn<QString>("phrase");
    const char* const facts[] = {"CDROM:",
                                 "Refresh",
                                 "Track name",
                                 "Length",
                                 "Begin sectors",
                                 "End sectors",
                                 "check box",
                                 "gnudb.gnudb.org",
                                 "library",
                                 "General",
                                 "MP3 Settings",
                                 "APE Settings",
                                 "0 (fastest) to 8 (smallest files)",
                                 "64 to 256 kbit/s",
                                 "Always show directory selector before ripping",
                                 "Save disc-info to libaray automatically",
                                 "Get play CD information from gnudb.gnudb.org automatically",
                                 "File overwrite prompt",
                                 "Save MP3 ID3Tag",
                                 "192 kbit/s",
                                 "Normal (2000)",
                                 "Insane (5000)",
                                 "XDG music folder",
                                 "~/.local/share/korvi-cd-ripper/DiscInfo",
                                 "$XDG_CONFIG_HOME/korvi-cd-ripper/registry.reg",
                                 "KORVI_CD_IMAGES",
                                 "separated by colons",
                                 "not allowed in file names",
                                 "korvi-cli drives",
                                 "korvi-cli toc DRIVE",
                                 "korvi-cli rip DRIVE --format wav|mp3|ape|flac|opus --out DIR",
                                 "--flac-level N",
                                 "--opus-bitrate N",
                                 "--tracks 1,3-5",
                                 "--bitrate N",
                                 "--level N",
                                 "--no-id3",
                                 "--on-exists ask|overwrite|skip",
                                 "--lookup",
                                 "korvi-cli lookup DRIVE [--library DIR] [--no-save]",
                                 "korvi-cli xmcd FILE",
                                 "korvi-cli play DRIVE TRACK",
                                 "Please enter an integer."};
    for (const char* fact : facts) QTest::newRow(fact) << QString(fact);
  }
  void helpFileDescribesTheRest() {
    QFETCH(QString, phrase);
    const HelpPage page = ReadHelpPage(ReadAll(SourceHelpFile()));
    QVERIFY2(page.error.isEmpty(), qPrintable(page.error));
    QVERIFY2(page.text.contains(phrase), qPrintable(phrase));
  }

  void helpFileGivesTheExitStatuses() {
    const HelpPage page = ReadHelpPage(ReadAll(SourceHelpFile()));
    static const QRegularExpression statuses(
        "0 when the work succeeded, 1 when it failed.*2 for a usage error");
    QVERIFY(page.text.contains(statuses));
  }
};

}  // namespace korvi

QTEST_MAIN(korvi::AboutHelpTest)
#include "about_help_test.moc"
