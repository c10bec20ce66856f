// The desktop notification at the end of a rip or a lookup, against a notification service of the test's own
// on a private session bus: it comes when the user is in another window, not while they watch the program,
// and without a service the rip ends as it always did.

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QProcess>
#include <QTreeWidget>
#include <QtTest>
#include <fstream>

#include "app/commands.h"
#include "cddb/disc_id.h"
#include "disc/cd_device.h"
#include "fixtures/cddb_server.h"
#include "frame_fixture.h"
#include "ui/child_view.h"
#include "ui/prompt_overwrite_dlg.h"
#include "ui/prompts.h"

using namespace korvi;

namespace {

constexpr char kService[] = "org.freedesktop.Notifications";
constexpr char kPath[] = "/org/freedesktop/Notifications";

// Takes Notify calls as a notification server would, and keeps them.
class FakeNotificationServer : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

 public:
  struct Call {
    QString appName, icon, summary, body;
  };
  QList<Call> calls;

 public slots:
  uint Notify(const QString& appName, uint, const QString& icon, const QString& summary, const QString& body,
              const QStringList&, const QVariantMap&, int) {
    calls.append({appName, icon, summary, body});
    return uint(calls.size());
  }
};

}  // namespace

class DesktopNotificationTest : public QObject, protected fixtures::FrameFixture {
  Q_OBJECT

 private:
  QProcess m_bus;
  FakeNotificationServer m_server;

  QDBusConnection ServerConnection() { return QDBusConnection(QStringLiteral("fake-notification-server")); }

  // Rips into `folder`, where Track 1 is there already: while the job asks about it, the user goes
  // to another window when `away`, and says to overwrite.
  void Rip(CMainFrame& frame, const std::filesystem::path& folder, bool away, QWidget& elsewhere) {
    std::filesystem::create_directory(folder);
    std::ofstream(folder / "Track 1.wav") << "old";
    m_prompts.onChooseFolder = [folder](const QString&) { return QString::fromStdString(folder.string()); };
    bool wentAway = false;
    m_prompts.onModal = [&](QDialog& dialog) {
      if (away) {
        elsewhere.show();
        elsewhere.activateWindow();
        wentAway = QTest::qWaitFor([&] { return QApplication::activeWindow() == &elsewhere; },
                                   fixtures::ScaledMs(KORVI_TRY_DEFAULT_MS));
      }
      dynamic_cast<CPromptOverwriteDlg&>(dialog).answer = kOverwriteYes;
      return int(QDialog::Accepted);
    };
    QVERIFY(RipAndWait(frame, ID_RIP_WAV, 20000));
    QCOMPARE(wentAway, away);
  }

 private slots:
  void initTestCase() {
    m_bus.start(QStringLiteral("dbus-daemon"),
                {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address")});
    QVERIFY2(m_bus.waitForStarted(fixtures::ScaledMs(30000)), "dbus-daemon (package dbus) is needed");
    QVERIFY(m_bus.waitForReadyRead(fixtures::ScaledMs(30000)));
    const QByteArray address = m_bus.readLine().trimmed();
    QVERIFY(!address.isEmpty());
    // Before the program's first use of the session bus, which it then finds here.
    qputenv("DBUS_SESSION_BUS_ADDRESS", address);
    QDBusConnection server = QDBusConnection::connectToBus(QString::fromLatin1(address),
                                                           QStringLiteral("fake-notification-server"));
    QVERIFY(server.isConnected());
    QVERIFY(server.registerObject(QString::fromLatin1(kPath), &m_server, QDBusConnection::ExportAllSlots));
  }

  void cleanupTestCase() {
    QDBusConnection::disconnectFromBus(QStringLiteral("fake-notification-server"));
    m_bus.terminate();
    m_bus.waitForFinished(fixtures::ScaledMs(30000));
  }

  void init() {
    fixtures::ImageLayout layout;
    layout.tracks = {{false, 300, 0, {}}, {false, 200, 150, {}}};
    QVERIFY(SetUpDisc(layout));
    m_server.calls.clear();
  }
  void cleanup() {
    ServerConnection().unregisterService(QString::fromLatin1(kService));
    TearDownDisc();
  }

  void ripEndedWhileAwayIsAnnouncedOnce() {
    QVERIFY(ServerConnection().registerService(QString::fromLatin1(kService)));
    auto frame = MakeFrame();
    QWidget elsewhere;
    // Watched from the window (its progress window in front): no notification.
    Rip(*frame, m_out / "watched", false, elsewhere);
    Rip(*frame, m_out / "away", true, elsewhere);
    QVERIFY(!frame->isActiveWindow());
    SCALED_TRY_VERIFY(!m_server.calls.isEmpty());
    // Calls arrive in order: one from the watched rip would be first.
    QCOMPARE(m_server.calls.size(), 1);
    const FakeNotificationServer::Call& call = m_server.calls.first();
    QCOMPARE(call.appName, QStringLiteral("Korvi CD Ripper"));
    QCOMPARE(call.icon, QStringLiteral("korvi-cd-ripper"));
    QCOMPARE(call.summary, QStringLiteral("Rip finished"));
    QCOMPARE(call.body,
             QStringLiteral("2 tracks ripped to %1").arg(QString::fromStdString((m_out / "away").string())));
    QVERIFY(m_prompts.errors.isEmpty());
  }

  void withoutAServiceTheRipEndsAsAlways() {
    QVERIFY(!ServerConnection().interface()->isServiceRegistered(QString::fromLatin1(kService)));
    auto frame = MakeFrame();
    QWidget elsewhere;
    Rip(*frame, m_out / "away", true, elsewhere);
    QVERIFY(std::filesystem::exists(m_out / "away" / "Track 2.wav"));
    QVERIFY(m_prompts.errors.isEmpty());
    QVERIFY(frame->Action(ID_RIPPING)->isEnabled());
    // Back to the window: it still takes commands.
    frame->activateWindow();
    SCALED_TRY_VERIFY(frame->isActiveWindow());
    Rip(*frame, m_out / "again", false, elsewhere);
    QVERIFY(std::filesystem::exists(m_out / "again" / "Track 2.wav"));
    QVERIFY(m_server.calls.isEmpty());
  }

  void titlesFoundWhileAwayAreAnnounced() {
    QVERIFY(ServerConnection().registerService(QString::fromLatin1(kService)));
    // A CDDB server that knows the disc.
    auto device = CdDevice::Open(m_image.cue.string());
    DiscToc toc;
    QVERIFY(device && device->ReadToc(toc));
    std::vector<CCDDBTrackPosition> positions;
    QVERIFY(TrackPositionsFromToc(toc.toc, positions));
    char id[16];
    std::snprintf(id, sizeof id, "%08x", ComputeDiscId(positions));
    std::filesystem::create_directories(m_dir->path() / "archive" / "rock");
    {
      std::ofstream entry(m_dir->path() / "archive" / "rock" / id);
      entry << "# xmcd\n#\n# Track frame offsets:\n";
      for (int32_t start : m_image.starts) entry << "#\t" << start + 150 << "\n";
      entry << "#\n# Disc length: " << (m_image.leadOut + 150) / 75 << " seconds\n#\n# Revision: 1\n"
            << "# Submitted via: hand 1.0\n#\nDISCID=" << id << "\nDTITLE=The Band / First Album\n"
            << "TTITLE0=Song A\nTTITLE1=Song B\nEXTD=\nEXTT0=\nEXTT1=\nPLAYORDER=\n";
    }
    fixtures::CddbTestServer cddb(m_dir->path() / "archive");
    QVERIFY(cddb.Start());
    qputenv("KORVI_CDDB_SERVER", QByteArray::fromStdString(cddb.HostPort()));
    auto frame = MakeFrame();
    frame->Settings().LookupOrder = "CDDB";
    QWidget elsewhere;
    elsewhere.show();
    elsewhere.activateWindow();
    SCALED_TRY_COMPARE(QApplication::activeWindow(), &elsewhere);

    frame->OnCommand(ID_GET_CD_INFO);
    SCALED_TRY_VERIFY(!m_server.calls.isEmpty());
    QCOMPARE(m_server.calls.size(), 1);
    QCOMPARE(m_server.calls.first().summary, QStringLiteral("Titles found"));
    QCOMPARE(m_server.calls.first().body, QStringLiteral("First Album"));
    SCALED_TRY_VERIFY(!frame->IsLookingUp());
  }
};

QTEST_MAIN(DesktopNotificationTest)
#include "desktop_notification_test.moc"
