// The enabling rules of the commands, state by state.

#include "app/commands.h"

#include <QtTest>

using namespace korvi;

class CommandsTest : public QObject {
  Q_OBJECT

 private slots:
  void enabling_data() {
    QTest::addColumn<bool>("ripping");
    QTest::addColumn<bool>("playing");
    QTest::addColumn<int>("items");
    QTest::addColumn<int>("selected");
    QTest::addColumn<QList<int>>("enabled");
    const QList<int> always = {ID_HELP, ID_APP_ABOUT, ID_VIEW_TOOLBAR, ID_VIEW_STATUS_BAR};
    QTest::newRow("empty list") << false << false << 0 << 0
                                << (always + QList<int>{ID_APP_EXIT, ID_SETTINGS, ID_REFRESH});
    QTest::newRow("rows") << false << false << 5 << 0
                          << (always + QList<int>{ID_APP_EXIT, ID_SETTINGS, ID_REFRESH, ID_SELECT_ALL,
                                                  ID_SELECT_NONE, ID_GET_CD_INFO, ID_RIPPING, ID_RIP_WAV,
                                                  ID_RIP_MP3, ID_RIP_APE, ID_RIP_FLAC, ID_RIP_OPUS});
    QTest::newRow("selection") << false << false << 5 << 2
                               << (always + QList<int>{ID_APP_EXIT, ID_SETTINGS, ID_REFRESH, ID_SELECT_ALL,
                                                       ID_SELECT_NONE, ID_GET_CD_INFO, ID_RIPPING, ID_RIP_WAV,
                                                       ID_RIP_MP3, ID_RIP_APE, ID_RIP_FLAC, ID_RIP_OPUS,
                                                       ID_PLAY, ID_EDIT_TRACK});
    QTest::newRow("playing") << false << true << 5 << 1
                             << (always + QList<int>{ID_APP_EXIT, ID_SETTINGS, ID_REFRESH, ID_SELECT_ALL,
                                                     ID_SELECT_NONE, ID_GET_CD_INFO, ID_STOP, ID_EDIT_TRACK});
    QTest::newRow("ripping") << true << false << 5 << 1 << always;
  }

  void enabling() {
    QFETCH(bool, ripping);
    QFETCH(bool, playing);
    QFETCH(int, items);
    QFETCH(int, selected);
    QFETCH(QList<int>, enabled);
    const CommandState state{ripping, playing, items, selected};
    for (const CommandInfo& command : Commands()) {
      if (!command.id) continue;
      QVERIFY2(CommandEnabled(command.id, state) == enabled.contains(command.id),
               qPrintable(QStringLiteral("command %1").arg(command.id)));
    }
  }

  void toolbarHoldsNineCommandsInOrder() {
    QList<int> buttons;
    for (int position = 1; position <= 9; ++position)
      for (const CommandInfo& command : Commands())
        if (command.toolbarPosition == position) buttons << command.id;
    QCOMPARE(buttons, (QList<int>{ID_RIPPING, ID_SELECT_ALL, ID_SELECT_NONE, ID_GET_CD_INFO, ID_PLAY, ID_STOP,
                                  ID_REFRESH, ID_SETTINGS, ID_HELP}));
    for (const CommandInfo& command : Commands())
      if (command.toolbarPosition) QVERIFY(command.tip);
  }

  void everyCommandHasAPrompt() {
    for (const CommandInfo& command : Commands())
      if (command.id) QVERIFY(!CommandPrompt(command).empty());
    QCOMPARE(QString::fromStdString(CommandPrompt(*FindCommand(ID_GET_CD_INFO))),
             QStringLiteral("Get Audio CD info from gnudb.gnudb.org"));
    QVERIFY(FindCommand(0) == nullptr);
    // The prompt names the server that lookups really go to.
    qputenv("KORVI_CDDB_SERVER", "127.0.0.1:8880");
    QCOMPARE(QString::fromStdString(CommandPrompt(*FindCommand(ID_GET_CD_INFO))),
             QStringLiteral("Get Audio CD info from 127.0.0.1:8880"));
    qputenv("KORVI_CDDB_SERVER", "cddb.example.org");
    QCOMPARE(QString::fromStdString(CommandPrompt(*FindCommand(ID_GET_CD_INFO))),
             QStringLiteral("Get Audio CD info from cddb.example.org"));
    qunsetenv("KORVI_CDDB_SERVER");
  }
};

QTEST_MAIN(CommandsTest)
#include "commands_test.moc"
