// The disc-info lookup from the window, against a local CDDB server and a real library folder.

#include <QDeadlineTimer>
#include <QLineEdit>
#include <QTreeWidget>
#include <QtTest>
#include <fstream>

#include "app/commands.h"
#include "fixtures/cddb_server.h"
#include "fixtures/image_toc.h"
#include "frame_fixture.h"
#include "ui/child_view.h"
#include "ui/drive_control_panel.h"
#include "ui/prompts.h"
#include "ui/track_edit_dlg.h"
#include "ui/track_list_rows.h"

using namespace korvi;

class LookupFrameTest : public QObject, protected fixtures::FrameFixture {
  Q_OBJECT

 private:
  uint32_t m_discId = 0;
  std::unique_ptr<fixtures::CddbTestServer> m_server;

  std::filesystem::path Library() const { return m_dir->path() / "data" / "DiscInfo"; }

  void WriteEntry(const std::string& category, int titles, const std::string& album, uint32_t discId = 0) {
    char id[16];
    std::snprintf(id, sizeof id, "%08x", discId ? discId : m_discId);
    std::filesystem::create_directories(m_dir->path() / "archive" / category);
    std::ofstream entry(m_dir->path() / "archive" / category / id);
    entry << "# xmcd\n#\n# Track frame offsets:\n";
    for (int32_t start : m_image.starts) entry << "#\t" << start + 150 << "\n";
    entry << "#\n# Disc length: " << (m_image.leadOut + 150) / 75 << " seconds\n#\n# Revision: 1\n"
          << "# Submitted via: hand 1.0\n#\nDISCID=" << id << "\nDTITLE=The Band / " << album
          << "\nDYEAR=2001\n";
    for (int i = 0; i < titles; ++i) entry << "TTITLE" << i << "=Song " << char('A' + i) << "\n";
    entry << "EXTD=\n";
    for (int i = 0; i < titles; ++i) entry << "EXTT" << i << "=\n";
    entry << "PLAYORDER=\n";
  }

  // A window that asks the local CDDB server alone, hidden.
  std::unique_ptr<CMainFrame> MakeFrame(bool automatic) {
    qputenv("KORVI_CDDB_SERVER", QByteArray::fromStdString(m_server->HostPort()));
    fixtures::FrameSetup setup;
    setup.lookupOnRead = automatic;
    setup.show = false;
    setup.settings = [](CAppSettings& settings) {
      settings.LookupOrder = "CDDB";  // the other sources have tests of their own
    };
    return FrameFixture::MakeFrame(setup);
  }

  static QString RowTitle(CMainFrame& frame, int row) { return RowText(frame, row, kColumnName); }

 private slots:
  void init() {
    fixtures::ImageLayout layout;
    layout.tracks = {{false, 300, 0, {}}, {false, 200, 150, {}}, {false, 250, 30, {}}};
    QVERIFY(SetUpDisc(layout));
    const auto read = fixtures::ReadImageToc(m_image.cue);
    QVERIFY(read);
    m_discId = read->cddbId;
    std::filesystem::create_directories(m_dir->path() / "archive");
    m_server = std::make_unique<fixtures::CddbTestServer>(m_dir->path() / "archive");
    QVERIFY(m_server->Start());
  }
  void cleanup() {
    m_server.reset();
    TearDownDisc();
  }

  void aServerEntryNamesTheRowsAndIsSaved() {
    WriteEntry("rock", 3, "First Album");
    auto frame = MakeFrame(true);  // the lookup starts with the first table of contents
    SCALED_TRY_COMPARE(RowTitle(*frame, 2), QStringLiteral("Song C"));
    QCOMPARE(RowTitle(*frame, 0), QStringLiteral("Song A"));
    QCOMPARE(frame->View()->DrivePanel()->InfoText(),
             QStringLiteral("Album title: First Album, Album artist: The Band (CDDB)"));
    SCALED_TRY_COMPARE(frame->StatusText(), QString());
    QVERIFY(!frame->IsLookingUp());
    QCOMPARE(frame->View()->Rows().ItemData(1), &frame->DiscInfo().tracks[1]);
    QCOMPARE(frame->DiscInfo().tracks[1].year, 2001);
    QVERIFY(std::filesystem::exists(LibraryFileName(Library().string(), m_discId)));
  }

  void aLibraryHitAsksNoServerAndKeepsEdits() {
    WriteEntry("rock", 3, "From The Server");
    {
      auto frame = MakeFrame(false);
      frame->Action(ID_GET_CD_INFO)->trigger();
      SCALED_TRY_COMPARE(RowTitle(*frame, 0), QStringLiteral("Song A"));
      // The user corrects a title; the record is saved when the window closes.
      frame->View()->TrackList()->topLevelItem(0)->setSelected(true);
      m_prompts.onModal = [](QDialog& dialog) {
        dynamic_cast<CTrackEditDlg&>(dialog).title = QStringLiteral("Corrected");
        return int(QDialog::Accepted);
      };
      frame->Action(ID_EDIT_TRACK)->trigger();
      QVERIFY(frame->close());
    }
    const size_t requests = m_server->Requests().size();
    auto again = MakeFrame(true);
    SCALED_TRY_COMPARE(RowTitle(*again, 0), QStringLiteral("Corrected"));
    QCOMPARE(RowTitle(*again, 1), QStringLiteral("Song B"));
    SCALED_TRY_VERIFY(!again->IsLookingUp());
    QCOMPARE(m_server->Requests().size(), requests);  // no connection at all
  }

  void noEntryGivesNumberedTitlesThatAreSaved() {
    auto frame = MakeFrame(false);
    frame->Action(ID_GET_CD_INFO)->trigger();
    SCALED_TRY_VERIFY(!frame->IsLookingUp());
    SCALED_TRY_VERIFY(m_server->Requests().size() >= 1);
    // No match at all (202): a failure.
    QCOMPARE(frame->StatusText(), QStringLiteral("Failed to Get disc-info!"));
    QCOMPARE(RowTitle(*frame, 2), QStringLiteral("Track 3"));
    QVERIFY(frame->View()->Rows().ItemData(2));

    // An inexact match (an entry of another id with nearly the same length) is read under the id
    // it is listed with: its titles are the answer, kept under this disc's own id.
    const uint32_t pressing = m_discId ^ 0x01000000u;
    WriteEntry("rock", 3, "Another Pressing", pressing);
    frame->Action(ID_GET_CD_INFO)->trigger();
    SCALED_TRY_VERIFY(!frame->IsLookingUp());
    QCOMPARE(frame->StatusText(), QString());
    QCOMPARE(frame->DiscInfo().discId, m_discId);
    QCOMPARE(RowTitle(*frame, 1), QStringLiteral("Song B"));
    char read[40];
    std::snprintf(read, sizeof read, "cmd=cddb+read+rock+%08x&", pressing);
    QVERIFY(m_server->Requests().back().find(read) != std::string::npos);
    CDiscInfo saved;
    QVERIFY(saved.LoadDiscInfo(Library().string(), m_discId) > 0);
    QCOMPARE(saved.albumTitle, std::string("Another Pressing"));

    // A match the server then has no entry for (401) is an answer too: numbered titles, and the
    // disc is kept.
    std::filesystem::remove(LibraryFileName(Library().string(), m_discId));
    fixtures::CddbTestServer::Behaviour noEntry;
    noEntry.mode = fixtures::CddbTestServer::Mode::kRaw;
    noEntry.command = "read";
    noEntry.raw = "HTTP/1.0 200 OK\r\n\r\n401 rock 12345678 No such CD entry in database.\r\n";
    m_server->SetBehaviour(noEntry);
    frame->Action(ID_GET_CD_INFO)->trigger();
    SCALED_TRY_VERIFY(!frame->IsLookingUp());
    QCOMPARE(frame->StatusText(), QString());
    QCOMPARE(RowTitle(*frame, 1), QStringLiteral("Track 2"));
    QVERIFY(saved.LoadDiscInfo(Library().string(), m_discId) > 0);
    QCOMPARE(saved.tracks.size(), size_t(3));
    QCOMPARE(saved.tracks[2].title(), std::string("Track 3"));
  }

  void anUnreachableServerFails() {
    qputenv("KORVI_CDDB_SERVER", "127.0.0.1:1");
    auto frame = MakeFrame(false);
    qputenv("KORVI_CDDB_SERVER", "127.0.0.1:1");
    frame->Action(ID_GET_CD_INFO)->trigger();
    SCALED_TRY_COMPARE(frame->StatusText(), QStringLiteral("Failed to Get disc-info!"));
    QCOMPARE(RowTitle(*frame, 0), QStringLiteral("Track 1"));
    QCOMPARE(frame->View()->DrivePanel()->InfoText(),
             QStringLiteral("No disc-info: the CDDB server 127.0.0.1:1 refused the connection"));
  }

  // The public server refuses a hello it does not know: its own words reach the line under the
  // drive list, and the address typed on the settings sheet lets the next lookup through.
  void aRefusedHelloShowsTheServersWordsUntilTheAddressIsSet() {
    WriteEntry("rock", 3, "Registered");
    fixtures::CddbTestServer::Behaviour refuse;
    refuse.requiredEmail = "listener@example.org";
    m_server->SetBehaviour(refuse);
    auto frame = MakeFrame(false);
    frame->Action(ID_GET_CD_INFO)->trigger();
    SCALED_TRY_COMPARE(frame->StatusText(), QStringLiteral("Failed to Get disc-info!"));
    QCOMPARE(frame->View()->DrivePanel()->InfoText(),
             QString("No disc-info: the CDDB server %1 answered: 500 Unknown developer email")
                 .arg(QString::fromStdString(m_server->HostPort())));
    QCOMPARE(RowTitle(*frame, 0), QStringLiteral("Track 1"));

    m_prompts.onModal = [](QDialog& sheet) {
      auto* edit = sheet.findChild<QLineEdit*>(QStringLiteral("cddbEmailEdit"));
      if (!edit) return int(QDialog::Rejected);
      edit->setText(QStringLiteral("listener@example.org"));
      return int(QDialog::Accepted);
    };
    frame->Action(ID_SETTINGS)->trigger();
    QCOMPARE(frame->Settings().CDDBEmail, std::string("listener@example.org"));
    frame->Action(ID_GET_CD_INFO)->trigger();
    SCALED_TRY_COMPARE(RowTitle(*frame, 0), QStringLiteral("Song A"));
    QCOMPARE(frame->View()->DrivePanel()->InfoText(),
             QStringLiteral("Album title: Registered, Album artist: The Band (CDDB)"));
  }

  // Without any lookup result the typed titles are kept in the library; a record of nothing but
  // numbered tracks is not, so that the disc is looked up again.
  void titlesTypedForAnUnidentifiedDiscAreKept() {
    {
      auto frame = MakeFrame(false);
      frame->Action(ID_GET_CD_INFO)->trigger();
      SCALED_TRY_COMPARE(frame->StatusText(), QStringLiteral("Failed to Get disc-info!"));
      QCOMPARE(frame->View()->DrivePanel()->InfoText(),
               QString("No disc-info: no match for this disc on the CDDB server %1 (202)")
                   .arg(QString::fromStdString(m_server->HostPort())));
      QVERIFY(frame->close());
    }
    QVERIFY(!std::filesystem::exists(LibraryFileName(Library().string(), m_discId)));
    const size_t requests = m_server->Requests().size();
    {
      auto frame = MakeFrame(false);
      frame->Action(ID_GET_CD_INFO)->trigger();
      SCALED_TRY_COMPARE(frame->StatusText(), QStringLiteral("Failed to Get disc-info!"));
      QVERIFY(m_server->Requests().size() > requests);  // asked again, not answered by the library
      frame->View()->TrackList()->topLevelItem(1)->setSelected(true);
      m_prompts.onModal = [](QDialog& dialog) {
        dynamic_cast<CTrackEditDlg&>(dialog).title = QStringLiteral("Mine");
        return int(QDialog::Accepted);
      };
      frame->Action(ID_EDIT_TRACK)->trigger();
      QVERIFY(frame->close());
    }
    CDiscInfo saved;
    QVERIFY(saved.LoadDiscInfo(Library().string(), m_discId) > 0);
    QCOMPARE(saved.tracks.size(), size_t(3));
    QCOMPARE(saved.tracks[1].title(), std::string("Mine"));
    // The file keeps the track's sectors too (little-endian, after the four texts and the year).
    std::ifstream file(LibraryFileName(Library().string(), m_discId), std::ios::binary);
    file.seekg(kLibraryHeaderBytes + kLibraryTrackBytes + 1028);
    uint8_t begin[4] = {};
    file.read(reinterpret_cast<char*>(begin), 4);
    QCOMPARE(int32_t(begin[0] | begin[1] << 8 | begin[2] << 16 | begin[3] << 24), m_image.starts[1]);
    auto again = MakeFrame(true);
    SCALED_TRY_COMPARE(RowTitle(*again, 1), QStringLiteral("Mine"));
  }

  // The server answers while the edit dialog is open: the dialog's event loop replaces the records
  // under it. What was typed lands in the new record, next to the lookup's other fields.
  void anEditOutlivesALookupThatLandsMeanwhile() {
    auto frame = MakeFrame(false);
    frame->Action(ID_GET_CD_INFO)->trigger();  // no entry yet: numbered records
    SCALED_TRY_COMPARE(frame->StatusText(), QStringLiteral("Failed to Get disc-info!"));
    WriteEntry("rock", 3, "Landed");
    frame->View()->TrackList()->topLevelItem(0)->setSelected(true);
    bool landed = false;
    m_prompts.onModal = [&](QDialog& dialog) {
      frame->OnCommand(ID_GET_CD_INFO);
      QDeadlineTimer deadline(fixtures::ScaledMs(10000));
      while (frame->IsLookingUp() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
      landed = RowTitle(*frame, 1) == QStringLiteral("Song B");
      dynamic_cast<CTrackEditDlg&>(dialog).title = QStringLiteral("Typed");
      return int(QDialog::Accepted);
    };
    frame->Action(ID_EDIT_TRACK)->trigger();
    QVERIFY(landed);
    QCOMPARE(RowTitle(*frame, 0), QStringLiteral("Typed"));
    QCOMPARE(frame->DiscInfo().tracks[0].title(), std::string("Typed"));
    QCOMPARE(frame->DiscInfo().tracks[0].artist, std::string("The Band"));
    QCOMPARE(frame->View()->Rows().ItemData(0), &frame->DiscInfo().tracks[0]);
  }

  void aSecondLookupEndsTheFirstAtOnce() {
    WriteEntry("rock", 3, "Slow");
    fixtures::CddbTestServer::Behaviour stall;
    stall.mode = fixtures::CddbTestServer::Mode::kStall;
    m_server->SetBehaviour(stall);
    auto frame = MakeFrame(false);
    frame->Action(ID_GET_CD_INFO)->trigger();
    QVERIFY(m_server->WaitForRequests(1, fixtures::ScaledMs(5000)));
    SCALED_TRY_COMPARE(frame->StatusText(), QStringLiteral("Get disc-info ..."));
    QElapsedTimer timer;
    timer.start();
    frame->Action(ID_REFRESH)->trigger();  // a new table of contents stops the lookup
    QVERIFY(timer.elapsed() < fixtures::ScaledMs(1000));
    QCOMPARE(frame->StatusText(), QString());
    QVERIFY(!frame->IsLookingUp());
    // Nothing of the stopped search arrives later: it reports its end as it leaves the server,
    // and that report is served here and dropped.
    QVERIFY(m_server->WaitForClosed(1, fixtures::ScaledMs(5000)));
    QCoreApplication::processEvents();
    QCOMPARE(RowTitle(*frame, 0), QStringLiteral("Track 1"));
    QCOMPARE(frame->StatusText(), QString());

    m_server->SetBehaviour({});
    frame->Action(ID_GET_CD_INFO)->trigger();
    SCALED_TRY_COMPARE(RowTitle(*frame, 0), QStringLiteral("Song A"));
  }

  void aNewDiscDoesNotInheritTheOldTitles() {
    WriteEntry("rock", 3, "Old");
    auto frame = MakeFrame(false);
    frame->Action(ID_GET_CD_INFO)->trigger();
    SCALED_TRY_COMPARE(RowTitle(*frame, 0), QStringLiteral("Song A"));
    std::filesystem::remove_all(m_dir->path() / "archive" / "rock");
    std::filesystem::remove(LibraryFileName(Library().string(), m_discId));
    frame->Action(ID_REFRESH)->trigger();
    QCOMPARE(RowTitle(*frame, 0), QStringLiteral("Track 1"));
    QCOMPARE(frame->DiscInfo().albumTitle, std::string());
    QCOMPARE(frame->DiscInfo().discId, m_discId);  // known from the table of contents
    // The record that was left is in the library.
    QVERIFY(std::filesystem::exists(LibraryFileName(Library().string(), m_discId)));
  }
};

QTEST_MAIN(LookupFrameTest)
#include "lookup_frame_test.moc"
