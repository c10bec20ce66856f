// The questions a rip asks: whether to overwrite a file, and which format to rip to.

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include "rip/output_format.h"
#include "rip/rip_job.h"
#include "ui/prompt_overwrite_dlg.h"
#include "ui/prompts.h"
#include "ui/select_format_dlg.h"

namespace korvi {
namespace {

constexpr int32_t kUntouched = 77;
const QString kPath = "/music/Harbour Lights/01 Opening Theme.wav";

template <typename T>
T* Child(QWidget& parent, const QString& name) {
  auto* child = parent.findChild<T*>(name);
  if (!child) qFatal("no child named %s", qPrintable(name));
  return child;
}

// Ways of leaving a dialog without an answer.
void Dismiss(QDialog& dialog, const QString& how) {
  if (how == "escape")
    QTest::keyClick(&dialog, Qt::Key_Escape);
  else
    dialog.close();
}

}  // namespace

class RipDialogsTest : public QObject {
  Q_OBJECT

 private:
  ScriptedPrompts m_prompts;

 private slots:
  void init() {
    m_prompts = ScriptedPrompts();
    Prompts::Install(&m_prompts);
  }
  void cleanup() { Prompts::Install(nullptr); }

  void overwriteQuestionNamesTheFile() {
    QString question, caption;
    QStringList buttons;
    bool wraps = false;
    bool fits = false;
    m_prompts.onModal = [&](QDialog& d) {
      d.show();
      auto* label = Child<QLabel>(d, "questionLabel");
      question = label->text();
      wraps = label->wordWrap();
      // The window was sized after the question went in, so no line of it is cut off.
      fits = label->height() >= label->heightForWidth(label->width());
      caption = d.windowTitle();
      for (const QPushButton* button : d.findChildren<QPushButton*>()) buttons << button->text();
      d.reject();
      return d.result();
    };
    int32_t answer = kUntouched;
    QVERIFY(!AskOverwrite(nullptr, kPath, &answer));
    QCOMPARE(m_prompts.modalCount, 1);
    QCOMPARE(question, "File " + kPath + " already exists, overwrite?");
    QVERIFY(wraps);
    QVERIFY(fits);
    QCOMPARE(caption, QString("Confirmation"));
    QCOMPARE(buttons, QStringList({"&Yes", "&No", "Y&es to All", "N&o to All"}));
  }

  void eachButtonGivesItsAnswer_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("choice");
    QTest::newRow("yes") << "yesButton" << int(kOverwriteYes);
    QTest::newRow("no") << "noButton" << int(kOverwriteNo);
    QTest::newRow("yes to all") << "yesToAllButton" << int(kOverwriteYesToAll);
    QTest::newRow("no to all") << "noToAllButton" << int(kOverwriteNoToAll);
  }
  void eachButtonGivesItsAnswer() {
    QFETCH(QString, button);
    QFETCH(int, choice);
    int answerBefore = 0;
    m_prompts.onModal = [&](QDialog& d) {
      d.show();
      answerBefore = static_cast<CPromptOverwriteDlg&>(d).answer;
      QTest::mouseClick(Child<QPushButton>(d, button), Qt::LeftButton);
      return d.result();
    };
    int32_t answer = kUntouched;
    QVERIFY(AskOverwrite(nullptr, kPath, &answer));
    QCOMPARE(answerBefore, -1);
    QCOMPARE(answer, choice);
  }

  void overwriteDismissedMeansNo_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("escape") << "escape";
    QTest::newRow("close box") << "close box";
  }
  void overwriteDismissedMeansNo() {
    QFETCH(QString, how);
    int dialogAnswer = 0;
    bool stillOpen = true;
    m_prompts.onModal = [&](QDialog& d) {
      d.show();
      Dismiss(d, how);
      dialogAnswer = static_cast<CPromptOverwriteDlg&>(d).answer;
      stillOpen = d.isVisible();
      return d.result();
    };
    int32_t answer = kOverwriteYes;  // what an earlier prompt of the job was told
    QVERIFY(!AskOverwrite(nullptr, kPath, &answer));
    QCOMPARE(answer, int32_t(kOverwriteNo));
    QCOMPARE(dialogAnswer, -1);
    QVERIFY(!stillOpen);
  }

  void formatChooserStartsAtWave() {
    CSelectFormatDlg dialog;
    dialog.format = kFormatApe;
    dialog.show();
    QCOMPARE(dialog.windowTitle(), QString("Select output format"));
    QCOMPARE(dialog.findChild<QGroupBox*>()->title(), QString("Format:"));
    QStringList texts;
    for (const char* name : {"waveRadio", "mp3Radio", "apeRadio", "flacRadio", "opusRadio"})
      texts << Child<QRadioButton>(dialog, name)->text();
    QCOMPARE(texts, QStringList({"WAVE", "MP3", "APE", "FLAC", "Opus"}));
    QVERIFY(Child<QRadioButton>(dialog, "waveRadio")->isChecked());
    QVERIFY(!Child<QRadioButton>(dialog, "mp3Radio")->isChecked());
    QVERIFY(!Child<QRadioButton>(dialog, "apeRadio")->isChecked());
    QCOMPARE(dialog.format, int(kFormatWave));
    QVERIFY(Child<QPushButton>(dialog, "okButton")->isDefault());
    QCOMPARE(Child<QPushButton>(dialog, "cancelButton")->text(), QString("Cancel"));

    // A second run starts at WAVE again, whatever the first chose.
    Child<QRadioButton>(dialog, "apeRadio")->click();
    QCOMPARE(dialog.format, int(kFormatApe));
    dialog.accept();
    dialog.show();
    QVERIFY(Child<QRadioButton>(dialog, "waveRadio")->isChecked());
    QCOMPARE(dialog.format, int(kFormatWave));
  }

  // Steps: radio buttons to click, then "ok", "cancel" or "escape".
  void chooseOutputFormat_data() {
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<bool>("chosen");
    QTest::addColumn<int>("format");
    QTest::newRow("OK untouched") << QStringList{"ok"} << true << int(kFormatWave);
    QTest::newRow("MP3") << QStringList{"mp3Radio", "ok"} << true << int(kFormatMp3);
    QTest::newRow("MP3, then WAVE") << QStringList{"mp3Radio", "waveRadio", "ok"} << true << int(kFormatWave);
    QTest::newRow("Cancel") << QStringList{"cancel"} << false << kUntouched;
    QTest::newRow("FLAC") << QStringList{"flacRadio", "ok"} << true << int(kFormatFlac);
    QTest::newRow("Opus") << QStringList{"opusRadio", "ok"} << true << int(kFormatOpus);
    QTest::newRow("APE, then Escape") << QStringList{"apeRadio", "escape"} << false << kUntouched;
  }
  void chooseOutputFormat() {
    QFETCH(QStringList, steps);
    QFETCH(bool, chosen);
    QFETCH(int, format);
    m_prompts.onModal = [&steps](QDialog& d) {
      d.show();
      for (const QString& step : steps) {
        if (step == "ok")
          QTest::mouseClick(Child<QPushButton>(d, "okButton"), Qt::LeftButton);
        else if (step == "cancel")
          QTest::mouseClick(Child<QPushButton>(d, "cancelButton"), Qt::LeftButton);
        else if (step == "escape")
          Dismiss(d, step);
        else
          Child<QRadioButton>(d, step)->click();
      }
      return d.result();
    };
    int result = kUntouched;
    QCOMPARE(ChooseOutputFormat(nullptr, &result), chosen);
    QCOMPARE(result, format);
    QCOMPARE(m_prompts.modalCount, 1);
  }
};

}  // namespace korvi

QTEST_MAIN(korvi::RipDialogsTest)
#include "rip_dialogs_test.moc"
