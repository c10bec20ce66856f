// The Edit track dialog: its fields go in when it opens and come back only on OK; the year rule.

#include "ui/track_edit_dlg.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>
#include <climits>

#include "disc/track_info.h"
#include "ui/prompts.h"

namespace korvi {
namespace {

QLineEdit* Edit(QDialog& dialog, const char* name) {
  auto* edit = dialog.findChild<QLineEdit*>(QString::fromLatin1(name));
  if (!edit) qFatal("no edit named %s", name);
  return edit;
}

void Fill(CTrackEditDlg& dialog) {
  dialog.title = "Opening Theme";
  dialog.artist = "The Quiet Lanterns";
  dialog.album = "Harbour Lights";
  dialog.year = 1987;
  dialog.comment = "remastered";
}

}  // namespace

class TrackEditDlgTest : public QObject {
  Q_OBJECT

 private:
  ScriptedPrompts m_prompts;

 private slots:
  void init() {
    m_prompts = ScriptedPrompts();
    Prompts::Install(&m_prompts);
  }
  void cleanup() { Prompts::Install(nullptr); }

  void layoutAndTexts() {
    CTrackEditDlg dialog;
    QCOMPARE(dialog.windowTitle(), QString("Edit track"));
    auto* group = dialog.findChild<QGroupBox*>();
    QVERIFY(group);
    QCOMPARE(group->title(), QString("Track info:"));
    QCOMPARE(group->findChildren<QLineEdit*>().size(), 5);
    auto* ok = dialog.findChild<QPushButton*>("okButton");
    auto* cancel = dialog.findChild<QPushButton*>("cancelButton");
    QVERIFY(ok && cancel);
    QCOMPARE(ok->text(), QString("OK"));
    QCOMPARE(cancel->text(), QString("Cancel"));
    QVERIFY(ok->isDefault());
  }

  // Run as the program runs it: opened through the prompts, edited, confirmed with OK.
  void fieldsGoInAndComeBackOnOk() {
    CTrackEditDlg dialog;
    Fill(dialog);
    QStringList shown;
    m_prompts.onModal = [&shown](QDialog& d) {
      d.show();
      for (const char* name : {"titleEdit", "artistEdit", "albumEdit", "yearEdit", "commentEdit"})
        shown << Edit(d, name)->text();
      Edit(d, "titleEdit")->setText("Closing Theme");
      Edit(d, "artistEdit")->setText("");
      Edit(d, "albumEdit")->setText("Harbour Lights (Live)");
      Edit(d, "yearEdit")->setText("1991");
      Edit(d, "commentEdit")->setText("  spaces kept  ");
      QTest::mouseClick(d.findChild<QPushButton*>("okButton"), Qt::LeftButton);
      return d.result();
    };
    QCOMPARE(Prompts::Current().RunModal(dialog), static_cast<int>(QDialog::Accepted));
    QCOMPARE(shown,
             QStringList({"Opening Theme", "The Quiet Lanterns", "Harbour Lights", "1987", "remastered"}));
    QCOMPARE(dialog.title, QString("Closing Theme"));
    QCOMPARE(dialog.artist, QString());
    QCOMPARE(dialog.album, QString("Harbour Lights (Live)"));
    QCOMPARE(dialog.year, 1991);
    QCOMPARE(dialog.comment, QString("  spaces kept  "));
    QVERIFY(m_prompts.errors.isEmpty());
  }

  void cancelChangesNothing() {
    CTrackEditDlg dialog;
    Fill(dialog);
    m_prompts.onModal = [](QDialog& d) {
      d.show();
      Edit(d, "titleEdit")->setText("Something Else");
      Edit(d, "yearEdit")->setText("not a year");
      d.findChild<QPushButton*>("cancelButton")->click();
      return d.result();
    };
    QCOMPARE(Prompts::Current().RunModal(dialog), static_cast<int>(QDialog::Rejected));
    QCOMPARE(dialog.title, QString("Opening Theme"));
    QCOMPARE(dialog.artist, QString("The Quiet Lanterns"));
    QCOMPARE(dialog.album, QString("Harbour Lights"));
    QCOMPARE(dialog.year, 1987);
    QCOMPARE(dialog.comment, QString("remastered"));
    QVERIFY(m_prompts.errors.isEmpty());
  }

  // OK on a dialog that was never shown confirms what it was given.
  void acceptWithoutShowingKeepsTheMembers() {
    CTrackEditDlg dialog;
    Fill(dialog);
    dialog.year = -3;
    dialog.accept();
    QCOMPARE(dialog.result(), static_cast<int>(QDialog::Accepted));
    QCOMPARE(dialog.title, QString("Opening Theme"));
    QCOMPARE(dialog.year, -3);
    QCOMPARE(dialog.comment, QString("remastered"));
    QVERIFY(m_prompts.errors.isEmpty());
  }

  // A track without a year shows an empty field, and an empty (or blank) field leaves it out.
  void anEmptyYearIsNoYear() {
    CTrackEditDlg dialog;
    Fill(dialog);
    dialog.year = kNoYear;
    dialog.show();
    QCOMPARE(Edit(dialog, "yearEdit")->text(), QString());
    Edit(dialog, "yearEdit")->setText("   ");
    dialog.findChild<QPushButton*>("okButton")->click();
    QCOMPARE(dialog.result(), static_cast<int>(QDialog::Accepted));
    QCOMPARE(dialog.year, kNoYear);
    QVERIFY(m_prompts.errors.isEmpty());
  }

  // Each run shows the members as they are then.
  void aSecondRunShowsTheMembersAfresh() {
    CTrackEditDlg dialog;
    Fill(dialog);
    dialog.show();
    Edit(dialog, "titleEdit")->setText("typed, then cancelled");
    dialog.reject();
    dialog.title = "Second Title";
    dialog.show();
    QCOMPARE(Edit(dialog, "titleEdit")->text(), QString("Second Title"));
  }

  void yearIsReadLikeScanf_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("year");
    QTest::newRow("digits then letters") << "2003abc" << 2003;
    QTest::newRow("leading blanks") << "  42" << 42;
    QTest::newRow("tab and newline") << "\t\n 7 " << 7;
    QTest::newRow("minus") << "-7" << -7;
    QTest::newRow("plus") << "+15" << 15;
    QTest::newRow("zero") << "0" << 0;
    QTest::newRow("leading zeros") << "0099" << 99;
    QTest::newRow("decimal point") << "19.5" << 19;
    QTest::newRow("too large") << "99999999999999999999" << INT_MAX;
    QTest::newRow("too small") << "-99999999999" << INT_MIN;
    QTest::newRow("number ends at 63rd character") << QString(61, ' ') + "12" << 12;
    QTest::newRow("only its first 63 characters count") << QString(62, ' ') + "12" << 1;
  }
  void yearIsReadLikeScanf() {
    QFETCH(QString, typed);
    QFETCH(int, year);
    QCOMPARE(ScanLeadingInt(typed), std::optional<int>(year));

    CTrackEditDlg dialog;
    Fill(dialog);
    dialog.show();
    Edit(dialog, "yearEdit")->setText(typed);
    dialog.findChild<QPushButton*>("okButton")->click();
    QCOMPARE(dialog.result(), static_cast<int>(QDialog::Accepted));
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.year, year);
    QVERIFY(m_prompts.errors.isEmpty());
  }

  void yearThatIsNoNumberKeepsTheDialogOpen_data() {
    QTest::addColumn<QString>("typed");
    QTest::newRow("letters") << "abc";
    QTest::newRow("sign alone") << "-";
    QTest::newRow("blank after sign") << "- 5";
    QTest::newRow("non-ASCII digits") << QString::fromUtf8("\u0661\u0669");
    QTest::newRow("number past the 63rd character") << QString(63, ' ') + "5";
  }
  void yearThatIsNoNumberKeepsTheDialogOpen() {
    QFETCH(QString, typed);
    QCOMPARE(ScanLeadingInt(typed), std::nullopt);

    CTrackEditDlg dialog;
    Fill(dialog);
    dialog.show();
    auto* title = Edit(dialog, "titleEdit");
    auto* yearEdit = Edit(dialog, "yearEdit");
    title->setText("Changed");
    title->setFocus();
    yearEdit->setText(typed);
    dialog.findChild<QPushButton*>("okButton")->click();

    QCOMPARE(m_prompts.errors, QStringList({"Please enter an integer."}));
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.result(), 0);
    QCOMPARE(dialog.focusWidget(), yearEdit);
    // Nothing was taken over from the rejected attempt.
    QCOMPARE(dialog.title, QString("Opening Theme"));
    QCOMPARE(dialog.year, 1987);

    // Putting the year right lets OK through.
    yearEdit->setText("2001");
    dialog.findChild<QPushButton*>("okButton")->click();
    QCOMPARE(dialog.result(), static_cast<int>(QDialog::Accepted));
    QCOMPARE(dialog.year, 2001);
    QCOMPARE(dialog.title, QString("Changed"));
    QCOMPARE(m_prompts.errors.size(), 1);
  }
};

}  // namespace korvi

QTEST_MAIN(korvi::TrackEditDlgTest)
#include "track_edit_dlg_test.moc"
