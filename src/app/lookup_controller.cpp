#include "app/lookup_controller.h"

#include <QDialog>
#include <QWidget>
#include <algorithm>
#include <utility>

#include "app/desktop_notifier.h"
#include "app/qt_messenger.h"
#include "cddb/cddb_server.h"
#include "cddb/disc_id.h"
#include "disc/track_rows.h"
#include "ui/child_view.h"
#include "ui/choose_release_dlg.h"
#include "ui/drive_control_panel.h"
#include "ui/prompts.h"
#include "ui/track_list_rows.h"

namespace korvi {
namespace {

// The fields the user changed from before to now, copied into record: what was typed while an
// answer waited is not lost to it.
void KeepTypedFields(const CDiscInfo& before, const CDiscInfo& now, CDiscInfo& record) {
  const size_t count = std::min({before.tracks.size(), now.tracks.size(), record.tracks.size()});
  for (size_t i = 0; i < count; ++i) {
    const CTrackInfo& was = before.tracks[i];
    const CTrackInfo& is = now.tracks[i];
    CTrackInfo& into = record.tracks[i];
    if (is.title() != was.title()) into.setTitle(is.title());
    if (is.artist != was.artist) into.artist = is.artist;
    if (is.album != was.album) into.album = is.album;
    if (is.comment != was.comment) into.comment = is.comment;
    if (is.year != was.year) into.year = is.year;
  }
}

}  // namespace

LookupController::LookupController(QWidget& window, QtFrameMessenger& messenger, const CAppSettings& settings,
                                   const DiscToc& disc, const std::string& drive,
                                   const DesktopNotifier& notifier, WindowHooks hooks)
    : m_window(window),
      m_messenger(messenger),
      m_settings(settings),
      m_disc(disc),
      m_drive(drive),
      m_notifier(notifier),
      m_hooks(std::move(hooks)) {
  // The worker's reports are queued to this thread, where a stopped search no longer counts.
  DiscInfoLookup::Sink sink;
  sink.status = [this](uint64_t generation, const std::string& text) {
    m_messenger.Run([this, generation, text] {
      if (m_search && m_search->IsCurrent(generation)) m_hooks.showStatus(QString::fromUtf8(text.c_str()));
    });
  };
  sink.done = [this](uint64_t generation, LookupOutcome outcome) {
    m_messenger.Run([this, generation, outcome = std::move(outcome)]() mutable {
      if (m_search) OnDone(generation, std::move(outcome));
    });
  };
  m_search = std::make_unique<DiscInfoLookup>(std::move(sink));
}

// Abandoned searches are joined here, so the window's messenger they report through must still exist.
LookupController::~LookupController() = default;

void LookupController::Attach(CChildView& view) { m_view = &view; }

void LookupController::Start() {
  Stop();
  RefreshTrackView();
  LookupRequest request;
  request.drive = m_drive;
  request.libraryFolder = m_settings.DefaultLibFolder;
  request.server = CddbServerFromEnvironment();
  request.helloEmail = m_settings.CDDBEmail;
  request.record = m_record;
  request.disc = m_disc;
  request.order = ParseLookupOrder(m_settings.LookupOrder);
  m_search->Start(std::move(request));
}

void LookupController::Stop() {
  // An answer still waiting for its question is as stale as a running search.
  m_pending.reset();
  if (!m_search->IsRunning()) return;
  m_search->Stop();
  m_hooks.showStatus(QString());
}

void LookupController::LeaveDisc() {
  Stop();
  SaveIfAny();
  // A new disc starts with an empty record: the old disc's titles must not name its rows, nor
  // edits of its rows be saved under the old disc's id.
  m_record = CDiscInfo();
  m_source.clear();
}

void LookupController::KnowDisc() {
  m_record.discId = DiscIdOf(m_disc.toc);
  m_record.discLength = DiscLengthOf(m_disc.toc);
}

void LookupController::SaveIfAny() {
  // A record of nothing but the table of contents is not kept: the disc is looked up next time.
  if (m_record.discId != 0 && !m_record.HoldsOnlyNumberedTracks()) m_record.SaveDiscInfo(m_settings.DefaultLibFolder);
}

void LookupController::OnTrackEdited() {
  if (!m_pending) return;
  PendingAnswer pending = std::move(*std::exchange(m_pending, std::nullopt));
  TakeAnswer(std::move(pending.outcome), &pending.before);
}

void LookupController::OnDone(uint64_t generation, LookupOutcome outcome) {
  if (!m_search->IsCurrent(generation)) return;
  m_search->Finished(generation);
  NotifyOutcome(outcome);
  if (outcome.kind == LookupOutcome::kFailed) {
    TakeFailure(outcome);
    return;
  }
  if (outcome.kind == LookupOutcome::kFromLibrary) {
    m_record = std::move(outcome.record);
    m_source.clear();
    RefreshTrackView();
    m_hooks.showStatus(QString());
    m_hooks.commandsChanged();
    return;
  }
  // The question waits while the user types in the track editor, rather than taking the keys.
  if (outcome.candidates.size() > 1 && m_view->IsEditingTrack()) {
    m_pending = PendingAnswer{std::move(outcome), m_record};
    return;
  }
  TakeAnswer(std::move(outcome));
}

void LookupController::NotifyOutcome(const LookupOutcome& outcome) const {
  if (outcome.kind == LookupOutcome::kFailed)
    m_notifier.NotifyIfAway(m_window, tr("No titles found"), QString::fromStdString(outcome.cause));
  else if (outcome.candidates.size() > 1)
    m_notifier.NotifyIfAway(
        m_window, tr("Titles found"),
        tr("%1 releases match the disc: choose one in the window.").arg(outcome.candidates.size()));
  else
    m_notifier.NotifyIfAway(m_window, tr("Titles found"), QString::fromStdString(outcome.record.albumTitle));
}

void LookupController::TakeFailure(const LookupOutcome& outcome) {
  m_hooks.showStatus(tr("Failed to Get disc-info!"));
  // The status bar keeps its short text; why it failed goes under the drive list.
  m_view->DrivePanel()->SetInfoText(tr("No disc-info: %1").arg(QString::fromStdString(outcome.cause)));
  m_hooks.commandsChanged();
}

void LookupController::TakeAnswer(LookupOutcome outcome, const CDiscInfo* typedSince) {
  if (outcome.candidates.size() > 1 && !ChooseRelease(outcome, typedSince)) {
    m_hooks.commandsChanged();
    return;
  }
  m_record = std::move(outcome.record);
  m_source = LookupSourceName(outcome.source);
  RefreshTrackView();
  if (m_settings.SaveLibraryAutomatically) m_record.SaveDiscInfo(m_settings.DefaultLibFolder);
  m_hooks.showStatus(QString());
  m_hooks.commandsChanged();
}

bool LookupController::ChooseRelease(LookupOutcome& outcome, const CDiscInfo* typedSince) {
  CChooseReleaseDlg dialog(&m_window, outcome.candidates);
  const uint64_t layout = m_view->Rows().Layout();
  const int answer = Prompts::Current().RunModal(dialog);
  m_hooks.showStatus(QString());
  // Cancel keeps the numbered titles, and the disc is looked up again next time.
  if (answer != QDialog::Accepted || m_view->Rows().Layout() != layout) return false;
  // On the record as it is now, which has the rows of the disc and whatever was typed.
  outcome.record = m_record;
  ApplyCandidate(outcome.record, &outcome.candidates[size_t(dialog.Chosen())], outcome.discId,
                 RowTrackNumber(m_disc, 0));
  if (typedSince) KeepTypedFields(*typedSince, m_record, outcome.record);
  return true;
}

void LookupController::RefreshTrackView() {
  QString info = tr("Album title: %1, Album artist: %2")
                     .arg(QString::fromStdString(m_record.albumTitle), QString::fromStdString(m_record.albumArtist));
  if (!m_source.empty()) info += QStringLiteral(" (%1)").arg(QString::fromStdString(m_source));
  m_view->DrivePanel()->SetInfoText(info);
  TrackListRows& rows = m_view->Rows();
  // Every row gets a record: numbered ones where the record has fewer tracks than the disc rows.
  for (int row = static_cast<int>(m_record.tracks.size()); row < rows.RowCount(); ++row)
    m_record.tracks.emplace_back(0, 0, NumberedTrackName(RowTrackNumber(m_disc, row)).c_str());
  for (int row = 0; row < rows.RowCount(); ++row) {
    CTrackInfo& track = m_record.tracks[static_cast<size_t>(row)];
    // The sectors are this disc's, whatever a library file or an entry said.
    const TrackSpan span = RowSpan(rows, row);
    track.setRange(span.begin, span.end);
    rows.SetText(row, kColumnName, track.title());
    rows.SetItemData(row, &track);
  }
}

}  // namespace korvi
