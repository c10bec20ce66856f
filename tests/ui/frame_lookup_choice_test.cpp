// The window against a MusicBrainz stand-in that knows two releases of the disc: the question
// which one it is, its answers, and its patience with a user who is typing in the track editor.

#include <QTreeWidget>
#include <QtTest>

#include "app/commands.h"
#include "fixtures/http_server.h"
#include "fixtures/image_toc.h"
#include "fixtures/musicbrainz_replies.h"
#include "frame_fixture.h"
#include "ui/child_view.h"
#include "ui/choose_release_dlg.h"
#include "ui/drive_control_panel.h"
#include "ui/prompts.h"
#include "ui/track_edit_dlg.h"
#include "ui/track_list_rows.h"

using namespace korvi;
using fixtures::HttpTestServer;

class FrameLookupChoiceTest : public QObject, protected fixtures::FrameFixture {
  Q_OBJECT

 private:
  uint32_t m_discId = 0;
  std::unique_ptr<HttpTestServer> m_musicBrainz;
  QByteArray m_serverBefore;

  std::string Library() const { return (m_dir->path() / "data" / "DiscInfo").string(); }

  // A hidden window.
  std::unique_ptr<CMainFrame> MakeFrame(bool automatic) {
    fixtures::FrameSetup setup;
    setup.lookupOnRead = automatic;
    setup.show = false;
    return FrameFixture::MakeFrame(setup);
  }
  static QString RowTitle(CMainFrame& frame, int row) { return RowText(frame, row, kColumnName); }
  static QTreeWidget* Releases(QDialog& dialog) { return dialog.findChild<QTreeWidget*>("releaseList"); }

 private slots:
  void initTestCase() { m_serverBefore = qgetenv("KORVI_MUSICBRAINZ_SERVER"); }
  void init() {
    fixtures::ImageLayout layout;
    layout.tracks = {{false, 300, 0, {}}, {false, 200, 150, {}}, {false, 250, 30, {}}};
    QVERIFY(SetUpDisc(layout));
    const auto read = fixtures::ReadImageToc(m_image.cue);
    QVERIFY(read);
    m_discId = read->cddbId;
    const std::string path = fixtures::MusicBrainzDiscPath(read->toc);
    m_musicBrainz = std::make_unique<HttpTestServer>();
    QVERIFY(m_musicBrainz->Start());
    m_musicBrainz->SetResponse(
        path,
        {HttpTestServer::Mode::kReply, 200,
         fixtures::MusicBrainzDiscReply(
             path.substr(13),
             {{"rel-a",
               "Erste Ausgabe",
               "Die Band",
               "1994-02-01",
               "DE",
               {"Eins", "Zwei", "Drei"},
               {},
               "Ostwind",
               "OW-1",
               "4006381333931",
               "CD"},
              {"rel-b", "Ποτέ", "Ωμέγα", "2003", "GR", {"Άλφα", "Βήτα", "Γάμμα"}, {"", "Σίγμα", ""}}})});
    qputenv("KORVI_CD_IMAGES", QByteArray::fromStdString(m_image.cue.string()));
    qputenv("KORVI_CDDB_SERVER", "127.0.0.1:1");
    qputenv("KORVI_MUSICBRAINZ_SERVER", QByteArray::fromStdString("http://" + m_musicBrainz->HostPort()));
    qputenv("no_proxy", "127.0.0.1");
  }
  void cleanup() {
    m_musicBrainz.reset();
    TearDownDisc();
  }
  void cleanupTestCase() {
    m_serverBefore.isNull() ? qunsetenv("KORVI_MUSICBRAINZ_SERVER")
                            : qputenv("KORVI_MUSICBRAINZ_SERVER", m_serverBefore);
  }

  // The automatic lookup after the table of contents asks; the choice names the rows and is kept.
  void severalReleasesAskWhichAndTheChoiceIsKept() {
    QStringList shown;
    bool firstPreselected = false;
    m_prompts.onModal = [&](QDialog& dialog) {
      QTreeWidget* list = Releases(dialog);
      if (!list) return int(QDialog::Rejected);
      for (int row = 0; row < list->topLevelItemCount(); ++row) {
        QStringList columns;
        for (int column = 0; column < list->columnCount(); ++column)
          columns << list->topLevelItem(row)->text(column);
        shown << columns.join('|');
      }
      firstPreselected = list->currentItem() == list->topLevelItem(0);
      list->setCurrentItem(list->topLevelItem(1));
      return int(QDialog::Accepted);
    };
    auto frame = MakeFrame(true);
    SCALED_TRY_COMPARE(RowTitle(*frame, 2), QStringLiteral("Γάμμα"));
    QCOMPARE(m_prompts.modalCount, 1);
    // Each row tells its pressing apart: the release's own date, label, catalogue number, barcode,
    // format and its disc of the set.
    QCOMPARE(shown,
             QStringList({"Erste Ausgabe|Die Band|1994-02-01|DE|Ostwind|OW-1|4006381333931|CD|1 of 1|3",
                          "Ποτέ|Ωμέγα|2003|GR|||||1 of 1|3"}));
    QVERIFY(firstPreselected);
    QCOMPARE(RowTitle(*frame, 0), QStringLiteral("Άλφα"));
    QCOMPARE(frame->View()->DrivePanel()->InfoText(),
             QStringLiteral("Album title: Ποτέ, Album artist: Ωμέγα (MusicBrainz)"));
    QCOMPARE(frame->StatusText(), QString());
    QCOMPARE(frame->DiscInfo().tracks[1].artist, std::string("Σίγμα"));
    CDiscInfo saved;
    QVERIFY(saved.LoadDiscInfo(Library(), m_discId) > 0);
    QCOMPARE(saved.albumTitle, std::string("Ποτέ"));
    QCOMPARE(saved.tracks[0].year, 2003);
    QCOMPARE(saved.extras.musicBrainzReleaseId, std::string("rel-b"));
  }

  // Cancel: the rows keep their numbers and nothing is kept, so that the next lookup asks again.
  void cancelKeepsTheNumberedTitles() {
    m_prompts.onModal = [](QDialog&) { return int(QDialog::Rejected); };
    auto frame = MakeFrame(false);
    frame->Action(ID_GET_CD_INFO)->trigger();
    SCALED_TRY_COMPARE(m_prompts.modalCount, 1);
    SCALED_TRY_VERIFY(!frame->IsLookingUp());
    QCOMPARE(RowTitle(*frame, 0), QStringLiteral("Track 1"));
    QCOMPARE(frame->StatusText(), QString());
    QVERIFY(!std::filesystem::exists(LibraryFileName(Library(), m_discId)));
    QVERIFY(frame->close());
    QVERIFY(!std::filesystem::exists(LibraryFileName(Library(), m_discId)));
  }

  // The answer comes while the user types in the track editor: the question waits until the
  // editor closes, and what was typed survives the choice.
  void theQuestionWaitsForTheTrackEditor() {
    auto frame = MakeFrame(true);
    frame->View()->TrackList()->topLevelItem(2)->setSelected(true);
    bool askedWhileTyping = true;
    m_prompts.onModal = [&](QDialog& dialog) {
      if (auto* editor = qobject_cast<CTrackEditDlg*>(&dialog)) {
        // The search counts as running until the window has taken its answer: then the question
        // has been asked, or put off.
        if (!QTest::qWaitFor([&] { return !frame->IsLookingUp() && !m_musicBrainz->Requests().empty(); },
                             fixtures::ScaledMs(10000)))
          return int(QDialog::Rejected);  // nothing typed: the checks below fail
        askedWhileTyping = m_prompts.modalCount > 1 || RowTitle(*frame, 0) != QStringLiteral("Track 1");
        editor->comment = QStringLiteral("typed while it looked");
        return int(QDialog::Accepted);
      }
      Releases(dialog)->setCurrentItem(Releases(dialog)->topLevelItem(0));
      return int(QDialog::Accepted);
    };
    frame->Action(ID_EDIT_TRACK)->trigger();
    QVERIFY(!askedWhileTyping);
    QCOMPARE(m_prompts.modalCount, 2);  // the question, once the editor closed
    QCOMPARE(RowTitle(*frame, 2), QStringLiteral("Drei"));
    QCOMPARE(frame->DiscInfo().tracks[2].comment, std::string("typed while it looked"));
    QCOMPARE(frame->DiscInfo().tracks[2].album, std::string("Erste Ausgabe"));
  }
};

QTEST_MAIN(FrameLookupChoiceTest)
#include "frame_lookup_choice_test.moc"
