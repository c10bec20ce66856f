// The Settings sheet against scripted prompts: what it shows, what OK and Cancel write back.

#include "ui/settings_sheet.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QtTest>
#include <tuple>

#include "ui/prompts.h"

namespace korvi {
namespace {

// A record whose every field differs from the defaults.
CAppSettings Sample() {
  CAppSettings settings{UserFolders{}};  // no folders, so nothing is created on disk
  settings.ShowSelectorBeforeSave = false;
  settings.GetDiscInfoAutomatically = false;
  settings.SaveLibraryAutomatically = true;
  settings.ReplacePrompt = false;
  settings.DefaultFolder = "/srv/rips/out";
  settings.DefaultLibFolder = "/srv/rips/library";
  settings.BPS = 256;
  settings.SaveID3Tag = false;
  settings.CompressionLevel = 4000;
  settings.FlacLevel = 7;
  settings.OpusBitrate = 96;
  settings.ReadMode = 1;
  settings.ReadOffset = -1164;
  settings.TestAndCopy = true;
  settings.ReadSpeed = 24;
  settings.EjectAfterRip = true;
  settings.VerifyAccurateRip = false;
  settings.WriteLog = false;
  settings.WriteCueSheet = false;
  settings.TagsV2 = false;
  settings.CDDBEmail = "me@example.org";
  settings.LookupOrder = "CDDB,MusicBrainz";
  return settings;
}

auto Fields(const CAppSettings& s) {
  return std::tie(s.ShowSelectorBeforeSave, s.GetDiscInfoAutomatically, s.SaveLibraryAutomatically,
                  s.ReplacePrompt, s.DefaultFolder, s.DefaultLibFolder, s.BPS, s.SaveID3Tag,
                  s.CompressionLevel, s.ReadMode, s.ReadOffset, s.TestAndCopy, s.ReadSpeed, s.EjectAfterRip, s.VerifyAccurateRip,
                  s.WriteLog, s.WriteCueSheet, s.TagsV2, s.CDDBEmail, s.LookupOrder);
}

template <typename T>
T* Find(QWidget& root, const char* name) {
  T* widget = root.findChild<T*>(QString::fromLatin1(name));
  if (!widget) qFatal("no widget named %s", name);
  return widget;
}

// Shows the sheet and opens the tab `index`, as a user clicking it would.
QTabWidget* ShowTab(QDialog& sheet, int index) {
  sheet.show();
  auto* tabs = sheet.findChild<QTabWidget*>();
  tabs->setCurrentIndex(index);
  return tabs;
}

// What a scripted modal run answers: `checks` on the dialog, then `result`, or with kDialogsOwn the
// result the dialog itself came to. The checks run in a void function, as QTest's macros need.
constexpr int kDialogsOwn = -1;
std::function<int(QDialog&)> Answer(int result, std::function<void(QDialog&)> checks) {
  return [result, checks](QDialog& dialog) {
    checks(dialog);
    return result == kDialogsOwn ? dialog.result() : result;
  };
}

// The list's rows as the user sees them: "[x] CDDB" for a checked source, "[ ] CD-Text" for one
// that is off.
QStringList Rows(const QListWidget* list) {
  QStringList rows;
  for (int i = 0; i < list->count(); ++i)
    rows << (list->item(i)->checkState() == Qt::Checked ? "[x] " : "[ ] ") + list->item(i)->text();
  return rows;
}

// Clicks the row's text, which selects it.
void ClickRow(QListWidget* list, int row) {
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());
}

QList<int> ItemData(const QComboBox* combo) {
  QList<int> data;
  for (int i = 0; i < combo->count(); ++i) data << combo->itemData(i).toInt();
  return data;
}

}  // namespace

class SettingsSheetTest : public QObject {
  Q_OBJECT

 private:
  ScriptedPrompts m_prompts;

 private slots:
  void init() {
    m_prompts = ScriptedPrompts();
    Prompts::Install(&m_prompts);
  }
  void cleanup() { Prompts::Install(nullptr); }

  void sheetHasCaptionTabsAndButtons() {
    CAppSettings settings = Sample();
    m_prompts.onModal = Answer(QDialog::Rejected, [](QDialog& sheet) {
      QCOMPARE(sheet.windowTitle(), QString("Settings"));
      auto* tabs = sheet.findChild<QTabWidget*>();
      QVERIFY(tabs);
      QCOMPARE(tabs->count(), 5);
      QCOMPARE(tabs->tabText(0), QString("General"));
      QCOMPARE(tabs->tabText(1), QString("MP3 Settings"));
      QCOMPARE(tabs->tabText(2), QString("APE Settings"));
      QCOMPARE(tabs->tabText(3), QString("FLAC"));
      QCOMPARE(tabs->tabText(4), QString("Opus"));
      QVERIFY(qobject_cast<CSetsPageGeneral*>(tabs->widget(0)));
      const OutputFormat pages[] = {kFormatMp3, kFormatApe, kFormatFlac, kFormatOpus};
      for (int tab = 1; tab <= 4; ++tab) {
        auto* page = qobject_cast<CSetsPageFormat*>(tabs->widget(tab));
        QVERIFY(page);
        QCOMPARE(page->Format().id, pages[tab - 1]);
      }
      QStringList buttons;
      for (auto* button : sheet.findChildren<QPushButton*>())
        if (button->parent() == &sheet) buttons << button->text();
      QCOMPARE(buttons, QStringList({"OK", "Cancel"}));
      QVERIFY(Find<QPushButton>(sheet, "okButton")->isDefault());
    });
    QVERIFY(!EditSettings(nullptr, settings));
    QCOMPARE(m_prompts.modalCount, 1);
  }

  void generalPageShowsTheRecord() {
    CAppSettings settings = Sample();
    settings.WriteLog = true;  // one of the three on, so that each box shows its own field
    m_prompts.onModal = Answer(QDialog::Rejected, [](QDialog& sheet) {
      QVERIFY(!Find<QCheckBox>(sheet, "selectorCheck")->isChecked());
      QVERIFY(!Find<QCheckBox>(sheet, "lookupCheck")->isChecked());
      QVERIFY(Find<QCheckBox>(sheet, "saveLibraryCheck")->isChecked());
      QVERIFY(!Find<QCheckBox>(sheet, "overwriteCheck")->isChecked());
      QCOMPARE(Find<QLineEdit>(sheet, "outputFolderEdit")->text(), QString("/srv/rips/out"));
      QCOMPARE(Find<QLineEdit>(sheet, "libraryFolderEdit")->text(), QString("/srv/rips/library"));
      QCOMPARE(Find<QLineEdit>(sheet, "cddbEmailEdit")->text(), QString("me@example.org"));
      QCOMPARE(Find<QCheckBox>(sheet, "lookupCheck")->text(),
               QString("Get play CD information from gnudb.gnudb.org automatically"));
      QVERIFY(!Find<QCheckBox>(sheet, "id3Check")->isChecked());
      auto* mode = Find<QComboBox>(sheet, "readModeCombo");
      QCOMPARE(mode->count(), 2);
      QCOMPARE(mode->itemText(0), QString("Secure"));
      QCOMPARE(mode->itemText(1), QString("Burst"));
      QCOMPARE(mode->currentText(), QString("Burst"));
      auto* offset = Find<QSpinBox>(sheet, "readOffsetSpin");
      QCOMPARE(offset->value(), -1164);
      QCOMPARE(offset->minimum(), -3000);
      QCOMPARE(offset->maximum(), 3000);
      auto* testAndCopy = Find<QCheckBox>(sheet, "testAndCopyCheck");
      QVERIFY(testAndCopy->isChecked());
      QCOMPARE(testAndCopy->text(), QString("Test and copy"));
      auto* speed = Find<QSpinBox>(sheet, "readSpeedSpin");
      QCOMPARE(speed->value(), 24);
      QCOMPARE(speed->maximum(), 100);
      speed->setValue(0);
      QCOMPARE(speed->text(), QString("Maximum"));
      auto* eject = Find<QCheckBox>(sheet, "ejectAfterRipCheck");
      QVERIFY(eject->isChecked());
      QCOMPARE(eject->text(), QString("Eject the disc when a rip is done"));
      QCOMPARE(Find<QCheckBox>(sheet, "verifyAccurateRipCheck")->text(),
               QString("Verify rips with AccurateRip"));
      QCOMPARE(Find<QCheckBox>(sheet, "writeLogCheck")->text(), QString("Write a rip log"));
      QCOMPARE(Find<QCheckBox>(sheet, "writeCueSheetCheck")->text(), QString("Write a cue sheet"));
      QVERIFY(!Find<QCheckBox>(sheet, "verifyAccurateRipCheck")->isChecked());
      QVERIFY(Find<QCheckBox>(sheet, "writeLogCheck")->isChecked());
      QVERIFY(!Find<QCheckBox>(sheet, "writeCueSheetCheck")->isChecked());
      QCOMPARE(Find<QCheckBox>(sheet, "tagsV2Check")->text(),
               QString("Write full tags (ID3v2, APEv2, Vorbis comments)"));
      QVERIFY(!Find<QCheckBox>(sheet, "tagsV2Check")->isChecked());
      QStringList labels;
      for (auto* label : sheet.findChildren<QLabel*>()) labels << label->text();
      QVERIFY(labels.contains("Read mode:") && labels.contains("Drive read offset (samples):"));
      QVERIFY(labels.contains("Read speed:"));
      QVERIFY(labels.contains("E-mail for the CDDB server:"));
    });
    EditSettings(nullptr, settings);
    QCOMPARE(m_prompts.modalCount, 1);
  }

  void lookupCheckNamesTheServerInUse() {
    CAppSettings settings = Sample();
    qputenv("KORVI_CDDB_SERVER", "127.0.0.1:8880");
    QString text;
    m_prompts.onModal = Answer(QDialog::Rejected,
                               [&](QDialog& sheet) { text = Find<QCheckBox>(sheet, "lookupCheck")->text(); });
    EditSettings(nullptr, settings);
    qunsetenv("KORVI_CDDB_SERVER");
    QCOMPARE(text, QString("Get play CD information from 127.0.0.1:8880 automatically"));
  }

  // Cancel, and any result but Accepted, leaves every field as it was.
  void cancelKeepsTheRecord_data() {
    QTest::addColumn<int>("result");
    QTest::newRow("cancel button") << kDialogsOwn;
    QTest::newRow("rejected") << static_cast<int>(QDialog::Rejected);
    QTest::newRow("other result") << 7;
  }
  void cancelKeepsTheRecord() {
    QFETCH(int, result);
    CAppSettings settings = Sample();
    const CAppSettings before = settings;
    m_prompts.onModal = Answer(result, [result](QDialog& sheet) {
      Find<QCheckBox>(sheet, "selectorCheck")->click();
      Find<QCheckBox>(sheet, "lookupCheck")->click();
      Find<QCheckBox>(sheet, "saveLibraryCheck")->click();
      Find<QCheckBox>(sheet, "overwriteCheck")->click();
      Find<QLineEdit>(sheet, "outputFolderEdit")->setText("/elsewhere");
      Find<QLineEdit>(sheet, "libraryFolderEdit")->setText("/elsewhere/lib");
      Find<QLineEdit>(sheet, "cddbEmailEdit")->clear();
      Find<QListWidget>(sheet, "lookupOrderList")->item(0)->setCheckState(Qt::Unchecked);
      Find<QComboBox>(sheet, "readModeCombo")->setCurrentIndex(0);
      Find<QSpinBox>(sheet, "readOffsetSpin")->setValue(6);
      Find<QCheckBox>(sheet, "testAndCopyCheck")->click();
      Find<QSpinBox>(sheet, "readSpeedSpin")->setValue(4);
      Find<QCheckBox>(sheet, "ejectAfterRipCheck")->click();
      Find<QCheckBox>(sheet, "verifyAccurateRipCheck")->click();
      Find<QCheckBox>(sheet, "writeLogCheck")->click();
      Find<QCheckBox>(sheet, "writeCueSheetCheck")->click();
      Find<QCheckBox>(sheet, "tagsV2Check")->click();
      ShowTab(sheet, 1);
      Find<QComboBox>(sheet, "bitrateCombo")->setCurrentIndex(0);
      Find<QCheckBox>(sheet, "id3Check")->click();
      ShowTab(sheet, 2);
      Find<QComboBox>(sheet, "levelCombo")->setCurrentIndex(0);
      if (result == kDialogsOwn) Find<QPushButton>(sheet, "cancelButton")->click();
    });
    QVERIFY(!EditSettings(nullptr, settings));
    QVERIFY(Fields(settings) == Fields(before));
  }

  void okWritesEveryFieldBack() {
    CAppSettings settings = Sample();
    m_prompts.onModal = Answer(kDialogsOwn, [](QDialog& sheet) {
      Find<QCheckBox>(sheet, "selectorCheck")->click();
      Find<QCheckBox>(sheet, "lookupCheck")->click();
      Find<QCheckBox>(sheet, "saveLibraryCheck")->click();
      Find<QCheckBox>(sheet, "overwriteCheck")->click();
      // Typed text is kept as it stands, blanks included.
      Find<QLineEdit>(sheet, "outputFolderEdit")->setText("  /media/new out ");
      Find<QLineEdit>(sheet, "libraryFolderEdit")->setText("relative/lib");
      Find<QLineEdit>(sheet, "cddbEmailEdit")->setText("listener@mail.example.org");
      Find<QSpinBox>(sheet, "encoderJobsSpin")->setValue(3);
      Find<QComboBox>(sheet, "readModeCombo")->setCurrentIndex(0);
      auto* offset = Find<QSpinBox>(sheet, "readOffsetSpin");
      offset->selectAll();
      QTest::keyClicks(offset, "-2500");
      Find<QCheckBox>(sheet, "testAndCopyCheck")->click();
      Find<QSpinBox>(sheet, "readSpeedSpin")->setValue(4);
      Find<QCheckBox>(sheet, "ejectAfterRipCheck")->click();
      Find<QCheckBox>(sheet, "verifyAccurateRipCheck")->click();
      Find<QCheckBox>(sheet, "writeCueSheetCheck")->click();
      Find<QCheckBox>(sheet, "tagsV2Check")->click();
      ShowTab(sheet, 1);
      auto* bitRates = Find<QComboBox>(sheet, "bitrateCombo");
      bitRates->setCurrentIndex(bitRates->findText("96 BPS"));
      Find<QCheckBox>(sheet, "id3Check")->click();
      ShowTab(sheet, 2);
      auto* levels = Find<QComboBox>(sheet, "levelCombo");
      levels->setCurrentIndex(levels->findText("Fast"));
      ShowTab(sheet, 3);
      auto* flacLevel = Find<QSpinBox>(sheet, "flacLevelSpin");
      QCOMPARE(flacLevel->value(), 7);
      QCOMPARE(flacLevel->minimum(), 0);
      QCOMPARE(flacLevel->maximum(), 8);
      flacLevel->setValue(2);
      ShowTab(sheet, 4);
      auto* opusBitrate = Find<QSpinBox>(sheet, "opusBitrateSpin");
      QCOMPARE(opusBitrate->value(), 96);
      QCOMPARE(opusBitrate->minimum(), 64);
      QCOMPARE(opusBitrate->maximum(), 256);
      opusBitrate->setValue(256);
      Find<QPushButton>(sheet, "okButton")->click();
    });
    QVERIFY(EditSettings(nullptr, settings));
    QCOMPARE(settings.ShowSelectorBeforeSave, true);
    QCOMPARE(settings.GetDiscInfoAutomatically, true);
    QCOMPARE(settings.SaveLibraryAutomatically, false);
    QCOMPARE(settings.ReplacePrompt, true);
    QCOMPARE(settings.DefaultFolder, std::string("  /media/new out "));
    QCOMPARE(settings.DefaultLibFolder, std::string("relative/lib"));
    QCOMPARE(settings.BPS, 96);
    QCOMPARE(settings.SaveID3Tag, true);
    QCOMPARE(settings.CompressionLevel, 1000);
    QCOMPARE(settings.FlacLevel, 2);
    QCOMPARE(settings.OpusBitrate, 256);
    QCOMPARE(settings.EncoderJobs, 3);
    QCOMPARE(settings.ReadMode, 0);
    QCOMPARE(settings.ReadOffset, -2500);
    QCOMPARE(settings.TestAndCopy, false);
    QCOMPARE(settings.ReadSpeed, 4);
    QCOMPARE(settings.EjectAfterRip, false);
    QCOMPARE(settings.VerifyAccurateRip, true);
    QCOMPARE(settings.WriteLog, false);
    QCOMPARE(settings.WriteCueSheet, true);
    QCOMPARE(settings.TagsV2, true);
    QCOMPARE(settings.CDDBEmail, std::string("listener@mail.example.org"));
  }

  // The sources that are on, in their order, then those that are off; Move up and Move down move
  // the selected one, the space bar turns it on or off, and OK reads back the checked ones in the
  // list's order.
  void lookupOrderListMovesAndChecksSources() {
    CAppSettings settings = Sample();
    settings.LookupOrder = "CDDB";
    m_prompts.onModal = Answer(kDialogsOwn, [](QDialog& sheet) {
      sheet.show();
      auto* list = Find<QListWidget>(sheet, "lookupOrderList");
      auto* up = Find<QPushButton>(sheet, "lookupOrderUp");
      auto* down = Find<QPushButton>(sheet, "lookupOrderDown");
      QCOMPARE(Find<QGroupBox>(sheet, "lookupOrderGroup")->title(), QString("Look up titles in:"));
      QCOMPARE(up->text(), QString("Move &up"));
      QCOMPARE(down->text(), QString("Move &down"));
      QCOMPARE(Rows(list), QStringList({"[x] CDDB", "[ ] MusicBrainz", "[ ] CD-Text"}));
      QVERIFY(!up->isEnabled() && !down->isEnabled());  // nothing selected yet
      ClickRow(list, 0);
      QVERIFY(!up->isEnabled() && down->isEnabled());
      down->click();
      QCOMPARE(Rows(list), QStringList({"[ ] MusicBrainz", "[x] CDDB", "[ ] CD-Text"}));
      QCOMPARE(list->currentRow(), 1);
      QTest::keyClick(list, Qt::Key_Space);
      QCOMPARE(Rows(list), QStringList({"[ ] MusicBrainz", "[ ] CDDB", "[ ] CD-Text"}));
      Find<QPushButton>(sheet, "okButton")->click();
    });
    QVERIFY(EditSettings(nullptr, settings));
    QCOMPARE(settings.LookupOrder, std::string());  // every online source off: only the library

    settings.LookupOrder = kDefaultLookupOrder;
    m_prompts.onModal = Answer(kDialogsOwn, [](QDialog& sheet) {
      sheet.show();
      auto* list = Find<QListWidget>(sheet, "lookupOrderList");
      auto* up = Find<QPushButton>(sheet, "lookupOrderUp");
      auto* down = Find<QPushButton>(sheet, "lookupOrderDown");
      QCOMPARE(Rows(list), QStringList({"[x] MusicBrainz", "[x] CDDB", "[x] CD-Text"}));
      ClickRow(list, 2);
      QVERIFY(up->isEnabled() && !down->isEnabled());
      up->click();
      up->click();
      QVERIFY(!up->isEnabled());
      ClickRow(list, 1);
      QTest::keyClick(list, Qt::Key_Space);
      QCOMPARE(Rows(list), QStringList({"[x] CD-Text", "[ ] MusicBrainz", "[x] CDDB"}));
      Find<QPushButton>(sheet, "okButton")->click();
    });
    QVERIFY(EditSettings(nullptr, settings));
    QCOMPARE(settings.LookupOrder, std::string("CD-Text,CDDB"));
  }

  // A value the list does not offer shows no selection and survives OK.
  void unlistedValuesAreKept() {
    CAppSettings settings = Sample();
    settings.BPS = 100;
    settings.CompressionLevel = 2500;
    m_prompts.onModal = Answer(QDialog::Accepted, [](QDialog& sheet) {
      ShowTab(sheet, 1);
      auto* bitRates = Find<QComboBox>(sheet, "bitrateCombo");
      QCOMPARE(bitRates->count(), 14);
      QCOMPARE(bitRates->currentIndex(), -1);
      ShowTab(sheet, 2);
      QCOMPARE(Find<QComboBox>(sheet, "levelCombo")->currentIndex(), -1);
      ShowTab(sheet, 0);
    });
    QVERIFY(EditSettings(nullptr, settings));
    QCOMPARE(settings.BPS, 100);
    QCOMPARE(settings.CompressionLevel, 2500);
  }

  void levelIsShownByName_data() {
    QTest::addColumn<int>("level");
    QTest::addColumn<QString>("name");
    QTest::newRow("1000") << 1000 << "Fast";
    QTest::newRow("2000") << 2000 << "Normal";
    QTest::newRow("3000") << 3000 << "High";
    QTest::newRow("4000") << 4000 << "Extra High";
    QTest::newRow("5000") << 5000 << "Insane";
  }
  void levelIsShownByName() {
    QFETCH(int, level);
    QFETCH(QString, name);
    CAppSettings settings = Sample();
    settings.CompressionLevel = level;
    QString shown;
    QList<int> levels;
    m_prompts.onModal = Answer(QDialog::Rejected, [&](QDialog& sheet) {
      ShowTab(sheet, 2);
      auto* combo = Find<QComboBox>(sheet, "levelCombo");
      shown = combo->currentText();
      levels = ItemData(combo);
    });
    EditSettings(nullptr, settings);
    QCOMPARE(shown, name);
    QCOMPARE(levels, QList<int>({1000, 2000, 3000, 4000, 5000}));
  }

  // The folder rows follow their check boxes at once, and again whenever the page is shown.
  void folderRowsFollowTheirCheckBoxes() {
    CSettingsSheet sheet;
    CAppSettings settings = Sample();
    settings.ShowSelectorBeforeSave = true;
    settings.SaveLibraryAutomatically = false;
    sheet.Load(settings);
    sheet.show();

    auto* selector = Find<QCheckBox>(sheet, "selectorCheck");
    auto* saveLibrary = Find<QCheckBox>(sheet, "saveLibraryCheck");
    const QList<QWidget*> outputRow = {Find<QLabel>(sheet, "outputFolderLabel"),
                                       Find<QLineEdit>(sheet, "outputFolderEdit"),
                                       Find<QPushButton>(sheet, "outputBrowseButton")};
    const QList<QWidget*> libraryRow = {Find<QLabel>(sheet, "libraryFolderLabel"),
                                        Find<QLineEdit>(sheet, "libraryFolderEdit"),
                                        Find<QPushButton>(sheet, "libraryBrowseButton")};
    auto enabled = [](const QList<QWidget*>& row) {
      QList<bool> states;
      for (QWidget* w : row) states << w->isEnabled();
      return states;
    };
    const QList<bool> on = {true, true, true};
    const QList<bool> off = {false, false, false};
    QCOMPARE(outputRow[0]->property("text").toString(), QString("Folder:"));

    QCOMPARE(enabled(outputRow), off);
    QCOMPARE(enabled(libraryRow), off);
    QTest::mouseClick(selector, Qt::LeftButton, {}, QPoint(4, selector->height() / 2));
    QVERIFY(!selector->isChecked());
    QCOMPARE(enabled(outputRow), on);
    QCOMPARE(enabled(libraryRow), off);
    QTest::mouseClick(saveLibrary, Qt::LeftButton, {}, QPoint(4, saveLibrary->height() / 2));
    QVERIFY(saveLibrary->isChecked());
    QCOMPARE(enabled(libraryRow), on);
    selector->click();
    QCOMPARE(enabled(outputRow), off);
    QCOMPARE(enabled(libraryRow), on);
    saveLibrary->click();
    QCOMPARE(enabled(libraryRow), off);

    // Switching pages back and forth keeps the rows as their boxes say.
    ShowTab(sheet, 1);
    ShowTab(sheet, 0);
    QCOMPARE(enabled(outputRow), off);
    QCOMPARE(enabled(libraryRow), off);
  }

  void bitRateListSurvivesTabSwitching() {
    CSettingsSheet sheet;
    CAppSettings settings = Sample();
    settings.BPS = 160;
    sheet.Load(settings);
    auto* combo = Find<QComboBox>(sheet, "bitrateCombo");
    const QList<int> rates = {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
    for (int round = 0; round < 4; ++round) {
      ShowTab(sheet, 1);
      QCOMPARE(ItemData(combo), rates);
      QCOMPARE(combo->itemText(0), QString("32 BPS"));
      QCOMPARE(combo->itemText(13), QString("320 BPS"));
      QCOMPARE(combo->currentData().toInt(), round == 0 ? 160 : 320);
      // The user's choice sticks across the next switches.
      combo->setCurrentIndex(13);
      ShowTab(sheet, round % 2 ? 0 : 2);
      QCOMPARE(combo->count(), 14);
    }
    settings.BPS = 0;
    sheet.Store(settings);
    QCOMPARE(settings.BPS, 320);
  }

  void browseSetsTheFolderUnlessCancelled_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("edit");
    QTest::addColumn<QString>("title");
    QTest::newRow("output") << "outputBrowseButton"
                            << "outputFolderEdit"
                            << "Choose a folder";
    QTest::newRow("library") << "libraryBrowseButton"
                             << "libraryFolderEdit"
                             << "Select a folder for library";
  }
  void browseSetsTheFolderUnlessCancelled() {
    QFETCH(QString, button);
    QFETCH(QString, edit);
    QFETCH(QString, title);
    CAppSettings settings = Sample();
    settings.ShowSelectorBeforeSave = false;
    settings.SaveLibraryAutomatically = true;
    QString answer = "/home/someone/Picked Folder";
    m_prompts.onChooseFolder = [&answer](const QString&) { return answer; };
    m_prompts.onModal = Answer(QDialog::Accepted, [&](QDialog& sheet) {
      auto* browse = Find<QPushButton>(sheet, button.toLatin1().constData());
      QCOMPARE(browse->text(), QString("&Browse"));
      browse->click();
      answer.clear();  // the user cancels the second time
      browse->click();
    });
    QVERIFY(EditSettings(nullptr, settings));
    QCOMPARE(m_prompts.folderTitles, QStringList({title, title}));
    const std::string& chosen =
        edit == "outputFolderEdit" ? settings.DefaultFolder : settings.DefaultLibFolder;
    const std::string& other =
        edit == "outputFolderEdit" ? settings.DefaultLibFolder : settings.DefaultFolder;
    QCOMPARE(chosen, std::string("/home/someone/Picked Folder"));
    QCOMPARE(other, edit == "outputFolderEdit" ? Sample().DefaultLibFolder : Sample().DefaultFolder);
  }

  // Pages never opened give back what they were given.
  void unopenedPagesReturnTheirValues() {
    CAppSettings settings = Sample();
    settings.BPS = 224;
    settings.SaveID3Tag = true;
    settings.CompressionLevel = 5000;
    const CAppSettings before = settings;
    m_prompts.onModal = Answer(QDialog::Accepted, [](QDialog& sheet) {
      sheet.show();  // only the General page is seen
    });
    QVERIFY(EditSettings(nullptr, settings));
    QVERIFY(Fields(settings) == Fields(before));
  }
};

}  // namespace korvi

QTEST_MAIN(korvi::SettingsSheetTest)
#include "settings_sheet_test.moc"
