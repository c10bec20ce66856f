#include "app/main_frame.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFontDatabase>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>
#include <functional>
#include <utility>

#include "app/qt_messenger.h"
#include "cddb/cddb_server.h"
#include "cddb/disc_id.h"
#include "disc/cd_device.h"
#include "disc/hidden_track.h"
#include "disc/read_toc.h"
#include "disc/track_rows.h"
#include "rip/output_format.h"
#include "settings/rip_settings_of.h"
#include "ui/about_dlg.h"
#include "ui/child_view.h"
#include "ui/choose_release_dlg.h"
#include "ui/drive_control_panel.h"
#include "ui/help.h"
#include "ui/progress_dlg.h"
#include "ui/prompt_overwrite_dlg.h"
#include "ui/prompts.h"
#include "ui/select_format_dlg.h"
#include "ui/settings_sheet.h"
#include "ui/toolbar_ex.h"
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

constexpr const char* kProductName = "Korvi CD Ripper 2.2";

// The command table's texts in the user's language; null stays empty.
QString CommandText(const char* text) {
  return text ? QCoreApplication::translate("Commands", text) : QString();
}

constexpr int kStatusTextWidth = 200;
// The progress window repaints at this rate at most; the job is not held for it.
constexpr int kRipStatusMilliseconds = 50;
// How long the exit lets the blocks at the sound server finish. The server answers within a
// fraction of it; one that is stopped or hung must not keep the window from going.
constexpr std::chrono::milliseconds kSoundServerWait{2000};

// Serves the event loop while busy() holds, at most for limit when it is given.
void ServeEventsWhile(const std::function<bool()>& busy,
                      std::chrono::milliseconds limit = std::chrono::milliseconds::max()) {
  const auto start = std::chrono::steady_clock::now();
  // In milliseconds: the limit's maximum would overflow in the clock's nanoseconds.
  const auto elapsed = [start] {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
  };
  while (busy() && elapsed() < limit) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
}

}  // namespace

class CMainFrame::DeviceSource : public ISectorSource {
 public:
  explicit DeviceSource(CdDevice*& device) : m_device(device) {}
  bool ReadRawSectors(int32_t start, uint8_t* buffer, int32_t count) override {
    return m_device && m_device->ReadRawSectors(start, buffer, count);
  }
  void ForgetReads(int32_t near) override {
    if (m_device) m_device->ForgetReads(near);
  }

 private:
  CdDevice*& m_device;
};

CMainFrame::CMainFrame(const UserFolders& folders)
    : m_folders(folders),
      m_source(std::make_unique<DeviceSource>(m_device)),
      m_settings(folders),
      m_store(RegistryStore::OpenForUser(folders)) {
  m_messenger = std::make_unique<QtFrameMessenger>(
      this, [this](unsigned message, uintptr_t w, intptr_t l) { return HandleMessage(message, w, l); });
  m_ripJob = std::make_unique<RipJob>(*m_messenger, *m_source);
  m_play = std::make_unique<PlayControl>(*m_messenger, *m_source);
  // Connecting to a server that is slow or hung must not freeze the window.
  m_play->Player().setOpenInBackground(true);
  m_play->onError = [this](const std::string& message, const std::string&) {
    Prompts::Current().ShowError(this, QString::fromStdString(message));
  };
  // The worker's reports are queued to this thread, where a stopped search no longer counts.
  DiscInfoLookup::Sink sink;
  sink.status = [this](uint64_t generation, const std::string& text) {
    m_messenger->Run([this, generation, text] {
      if (m_lookup && m_lookup->IsCurrent(generation)) OnSetStatusText(text.c_str());
    });
  };
  sink.done = [this](uint64_t generation, LookupOutcome outcome) {
    m_messenger->Run([this, generation, outcome = std::move(outcome)]() mutable {
      if (m_lookup) OnLookupDone(generation, std::move(outcome));
    });
  };
  m_lookup = std::make_unique<DiscInfoLookup>(std::move(sink));
  m_settings.LoadFromRegistry(m_store);
}

CMainFrame::~CMainFrame() {
  // First, so that no worker that fails to end can cost the user the settings.
  m_settings.SaveToRegistry(m_store);
  // The blocks still at the sound device report to this thread as they finish: serve them for a
  // while, so that the track is not cut in the middle of a block.
  m_play->OnPlayStop();
  ServeEventsWhile([this] { return m_play->IsBusy(); }, kSoundServerWait);
  // Closing is refused during a rip; should the window go anyway, the worker stops first, and its
  // last messages are served so that it is not left waiting for this thread.
  m_ripJob->Cancel();
  m_ripJob->Resume();
  ServeEventsWhile([this] { return m_ripJob->IsRunning(); });
  m_ripJob.reset();
  // Abandoned searches are joined while the messenger they report through still exists.
  m_lookup.reset();
  // A completion may still be sending to this thread when the server did not answer in time: the
  // closed messenger releases it, so that the player can join its device's thread, which gives up
  // a connection under way.
  m_messenger->Close();
  m_play.reset();
}

bool CMainFrame::IsRipping() const { return m_ripUnderway || (m_ripJob && m_ripJob->IsRunning()); }

bool CMainFrame::Create() {
  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  m_toolBar = new CToolBarEx(central);
  m_view = new CChildView(*m_messenger, central);
  m_view->onRowsChanged = [this] { UpdateCommandUI(); };
  m_view->onTrackEdited = [this] {
    if (!m_pendingAnswer) return;
    PendingAnswer pending = std::move(*std::exchange(m_pendingAnswer, std::nullopt));
    TakeAnswer(std::move(pending.outcome), &pending.before);
  };
  layout->addWidget(m_toolBar);
  layout->addWidget(m_view, 1);
  setCentralWidget(central);

  CreateActions();
  m_view->Create();  // lists the drives and reads the first one
  CreateStatusBar();
  CreateToolBar();
  m_progress = new CProgressDlg(*m_messenger, this);
  m_progress->hide();
  m_ripStatusTimer = new QTimer(this);
  m_ripStatusTimer->setInterval(kRipStatusMilliseconds);
  connect(m_ripStatusTimer, &QTimer::timeout, this, &CMainFrame::ShowRipStatus);
  CreateMenus();
  ApplyPanelFont();
  setWindowTitle(QString::asprintf("%s", kProductName));
  UpdateCommandUI();
  return true;
}

void CMainFrame::CreateStatusBar() {
  m_statusPrompt = new QLabel(QStringLiteral(" "), this);
  m_statusPrompt->setObjectName(QStringLiteral("statusPane0"));
  m_statusText = new QLabel(this);
  m_statusText->setObjectName(QStringLiteral("statusPane1"));
  m_statusText->setMinimumWidth(kStatusTextWidth);
  statusBar()->addWidget(m_statusPrompt, 1);
  statusBar()->addPermanentWidget(m_statusText);
}

void CMainFrame::CreateActions() {
  for (const CommandInfo& command : Commands()) {
    if (command.id == 0) continue;
    auto* action = new QAction(CommandText(command.text), this);
    action->setObjectName(QStringLiteral("command%1").arg(command.id));
    if (command.key) action->setShortcut(QKeySequence(QString::fromLatin1(command.key)));
    QString prompt = CommandText(command.prompt);
    if (command.id == ID_GET_CD_INFO) prompt += QString::fromStdString(CddbServerInUse());
    action->setStatusTip(prompt);
    if (command.tip) action->setToolTip(CommandText(command.tip));
    const int id = command.id;
    if (id == ID_VIEW_TOOLBAR || id == ID_VIEW_STATUS_BAR) {
      action->setCheckable(true);
      action->setChecked(true);
    }
    connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
    addAction(action);  // keys work while the menu bar is hidden too
    m_actions[id] = action;
  }
}

void CMainFrame::CreateMenus() {
  QMenu* menus[] = {menuBar()->addMenu(tr("&File")), menuBar()->addMenu(tr("&View")),
                    menuBar()->addMenu(tr("&Help"))};
  for (const CommandInfo& command : Commands()) {
    QMenu* menu = menus[static_cast<int>(command.menu)];
    if (command.id == 0)
      menu->addSeparator();
    else
      menu->addAction(m_actions[command.id]);
  }
  for (QMenu* menu : menus) connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandUI);
}

void CMainFrame::CreateToolBar() {
  QList<QAction*> buttons;
  for (int position = 1; position <= 9; ++position)
    for (const CommandInfo& command : Commands())
      if (command.toolbarPosition == position) buttons << m_actions[command.id];
  m_toolBar->SetButtons(buttons);
  m_toolBar->SetBackgroundBitmap(0);
  m_toolBar->SetNormalBitmap(0);
  m_toolBar->SetHotBitmap(0);
  m_toolBar->SetDisabledBitmap(0);
  m_toolBar->SetPressedBitmap(0);
}

void CMainFrame::ApplyPanelFont() {
  QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  if (QFontDatabase::families().contains(QStringLiteral("Tahoma"))) font.setFamily(QStringLiteral("Tahoma"));
  font.setStyleHint(QFont::SansSerif);
  font.setWeight(QFont::Normal);
  m_view->DrivePanel()->SetPanelFont(font);
}

QAction* CMainFrame::Action(int id) const {
  const auto found = m_actions.find(id);
  return found == m_actions.end() ? nullptr : found->second;
}

CommandState CMainFrame::State() const {
  CommandState state;
  state.ripping = IsRipping();
  state.playing = IsPlaying();
  if (m_view) {
    state.itemCount = m_view->Rows().RowCount();
    state.selectedCount = m_view->Rows().SelectedCount();
  }
  return state;
}

void CMainFrame::UpdateCommandUI() {
  const CommandState state = State();
  for (const auto& [id, action] : m_actions) action->setEnabled(CommandEnabled(id, state));
  if (auto* toolbar = Action(ID_VIEW_TOOLBAR); toolbar && m_toolBar)
    toolbar->setChecked(m_toolBar->isVisible() || !isVisible());
  if (auto* status = Action(ID_VIEW_STATUS_BAR)) status->setChecked(statusBar()->isVisible() || !isVisible());
  if (m_toolBar) m_toolBar->update();
}

void CMainFrame::OnCommand(int id) {
  if (!IsCommandEnabled(id)) return;
  if (const OutputFormatInfo* format = FindFormatByCommand(id)) StartRip(format->id);
  switch (id) {
    case ID_RIPPING: {
      int format = kFormatWave;
      if (ChooseOutputFormat(this, &format)) StartRip(format);
      if (m_toolBar) m_toolBar->update();
      break;
    }
    case ID_SELECT_ALL:
      SelectAll(true);
      break;
    case ID_SELECT_NONE:
      SelectAll(false);
      break;
    case ID_EDIT_TRACK:
      m_view->EditTrack();
      break;
    case ID_PLAY:
      m_messenger->Post(WM_PLAY_START);
      break;
    case ID_STOP:
      m_messenger->Post(WM_PLAY_STOP);
      break;
    case ID_GET_CD_INFO:
      StartLookup();
      break;
    case ID_REFRESH:
      m_view->DrivePanel()->Refresh();
      break;
    case ID_SETTINGS:
      EditSettings(this, m_settings);
      break;
    case ID_APP_EXIT:
      close();
      break;
    case ID_VIEW_TOOLBAR:
      m_toolBar->setVisible(!m_toolBar->isVisible());
      break;
    case ID_VIEW_STATUS_BAR:
      statusBar()->setVisible(!statusBar()->isVisible());
      break;
    case ID_HELP:
      OpenHelp(this);
      break;
    case ID_APP_ABOUT:
      ShowAbout(this);
      break;
  }
  UpdateCommandUI();
}

void CMainFrame::SelectAll(bool checked) {
  TrackListRows& rows = m_view->Rows();
  for (int row = 0; row < rows.RowCount(); ++row) rows.SetChecked(row, checked);
}

void CMainFrame::StartRip(int format) {
  Prompts& prompts = Prompts::Current();
  if (IsPlaying()) {
    prompts.ShowError(this, tr("Disc playing, please stop before ripping!\n"));
    return;
  }
  StopLookup();
  if (!CollectCheckedTracks()) {
    prompts.ShowError(this, tr("No track selected, please select one or more tracks before continue!"));
    return;
  }
  if (!FindOutputFormat(format)) return;
  m_outputFolder = m_settings.DefaultFolder;
  m_ripFormat = format;
  if (m_settings.ShowSelectorBeforeSave) {
    const QString folder = prompts.ChooseFolder(this, tr("Please choose a folder for output file(s):"),
                                                QString::fromStdString(m_outputFolder));
    if (folder.isEmpty()) return;
    m_outputFolder = folder.toStdString();
  }
  if (m_outputFolder.empty()) {
    prompts.ShowError(this, tr("No output folder is set: choose one in Settings."));
    return;
  }
  // A drive is read as the settings say; an image holds the disc's samples as they are.
  const bool drive = m_device && (!m_device->isImage() || m_imagesAsDrives);
  RipSettings settings = RipSettingsOf(m_settings, m_toc, drive);
  settings.folder = m_outputFolder;
  settings.format = static_cast<OutputFormat>(format);
  settings.report = ReportDiscOf(m_driveName, m_toc, m_discInfo.discId != 0 ? &m_discInfo : nullptr);
  settings.tags = DiscTagsOf(m_toc, m_discInfo.discId != 0 ? &m_discInfo : nullptr);
  // Read through the frame's copy of the device, as the audio is: the panel replaces the device
  // only after the frame has taken the new one, and not at all while a job runs.
  settings.report.readCodes = [this](DiscText& text) {
    if (m_device) m_device->ReadCodes(text);
  };
  // Called on the worker, which waits until the user has seen the message.
  settings.writer.showError = [this](const std::string& text) {
    m_messenger->RunAndWait(
        [this, &text] { Prompts::Current().ShowJobError(this, QString::fromStdString(text)); });
  };
  m_ripLayout = m_view->Rows().Layout();
  m_ripUnderway = m_ripJob->Start(m_ripList, settings);
  if (!m_ripUnderway && !m_ripJob->StartError().empty())
    prompts.ShowError(
        this, tr("The rip could not be started: %1").arg(QString::fromStdString(m_ripJob->StartError())));
}

bool CMainFrame::CollectCheckedTracks() {
  m_ripList.clear();
  m_ripRows.clear();
  TrackListRows& rows = m_view->Rows();
  if (const std::optional<TrackSpan> hidden = rows.CheckedHiddenTrack()) {
    m_ripList.push_back({CTrackInfo(hidden->begin, hidden->end, kHiddenTrackTitle), 0});
    m_ripRows.push_back(kHiddenRow);
  }
  for (int row = 0; row < rows.RowCount(); ++row) {
    if (!rows.IsChecked(row)) continue;
    const TrackSpan span = RowSpan(rows, row);
    CTrackInfo* record = rows.ItemData(row);
    // The disc's own number names an untitled track's file, as the row names it.
    const int number = RowTrackNumber(m_toc, row);
    if (record) {
      record->setRange(span.begin, span.end);
      m_ripList.push_back({*record, number});
    } else {
      // Not bound to a record yet: the row itself says all that a rip needs.
      m_ripList.push_back({CTrackInfo(span.begin, span.end, rows.Text(row, kColumnName).c_str()), number});
    }
    m_ripRows.push_back(row);
  }
  return !m_ripList.empty();
}

void CMainFrame::OnRipStarted() {
  m_view->TrackList()->setEnabled(false);
  m_view->DrivePanel()->setEnabled(false);
  m_progress->Start();
  m_progress->show();
  m_ripStatusTimer->start();
}

void CMainFrame::ShowRipStatus() {
  const RipStatus status = m_ripJob->Status();
  if (status.track >= 0) m_progress->SetTrackProgress(status.sectorIndex, status.trackSectors);
  m_progress->SetTotalProgress(status.doneSectors, status.totalSectors);
}

void CMainFrame::OnRipFinished() {
  // Until now a quick job's end was still on its way here: no other job may start meanwhile.
  m_ripUnderway = false;
  // Asked before the progress window goes, which takes the activation with it.
  const bool away = !IsUserHere();
  m_view->TrackList()->setEnabled(true);
  m_view->DrivePanel()->setEnabled(true);
  m_ripStatusTimer->stop();
  ShowRipStatus();
  m_progress->Stop();
  m_ripJob->Join();
  ShowTrackStatus();
  // Before the report below, which waits for the user.
  if (away) NotifyRipEnded();
  // A job the user stopped says no more than what went wrong.
  const QString verdict = m_ripJob->WasStopped() ? QString() : RipVerdictText();
  const std::vector<RipFailure>& failures = m_ripJob->Failures();
  if (failures.empty()) {
    if (!verdict.isEmpty()) Prompts::Current().ShowInformation(this, verdict);
    return;
  }
  QString text = tr("These files could not be written completely:\n");
  for (const RipFailure& failure : failures)
    text += QStringLiteral("\n%1\n    %2")
                .arg(QString::fromStdString(failure.path), QString::fromStdString(failure.cause));
  if (!verdict.isEmpty()) text += QStringLiteral("\n\n") + verdict;
  Prompts::Current().ShowError(this, text);
}

bool CMainFrame::IsUserHere() const {
  // The progress window or a question of ours in front counts as the user being here. Walked by hand:
  // isAncestorOf() stops at window boundaries.
  for (const QWidget* w = QApplication::activeWindow(); w; w = w->parentWidget())
    if (w == this) return true;
  return false;
}

void CMainFrame::NotifyIfAway(const QString& summary, const QString& body) const {
  if (!IsUserHere()) m_notifier.Notify(summary, body);
}

void CMainFrame::NotifyRipEnded() const {
  const QString folder = QString::fromStdString(m_outputFolder);
  if (m_ripJob->WasStopped()) {
    m_notifier.Notify(tr("Rip stopped"), tr("The rip to %1 was stopped.").arg(folder));
    return;
  }
  const size_t failed = m_ripJob->Failures().size();
  const size_t tracks = m_ripJob->Tracks().size();
  if (failed > 0) {
    m_notifier.Notify(tr("Rip finished with errors"),
                      tr("%1 of %2 files could not be written completely.").arg(failed).arg(tracks));
    return;
  }
  m_notifier.Notify(tr("Rip finished"), tracks == 1 ? tr("1 track ripped to %1").arg(folder)
                                                    : tr("%1 tracks ripped to %2").arg(tracks).arg(folder));
}

QString CMainFrame::RipVerdictText() const {
  const std::string summary = m_ripJob->AccurateRipSummaryText();
  if (summary.empty()) return {};
  QString text = QString::fromStdString(summary) + QLatin1Char('.');
  if (!m_ripJob->LogFile().empty())
    text += tr("\n\nThe rip log is in %1").arg(QString::fromStdString(m_ripJob->LogFile()));
  return text;
}

void CMainFrame::ShowTrackStatus() {
  TrackListRows& rows = m_view->Rows();
  // After a table-of-contents read the row numbers may name other tracks.
  if (rows.Layout() != m_ripLayout) return;
  const std::vector<RipTrack>& tracks = m_ripJob->Tracks();
  const std::vector<TrackResult>& results = m_ripJob->Results();
  for (size_t i = 0; i < tracks.size() && i < results.size() && i < m_ripRows.size(); ++i) {
    const std::string status = results[i].StatusText(tracks[i].info.begin());
    if (m_ripRows[i] == kHiddenRow)
      rows.SetHiddenTrackStatus(status);
    else
      rows.SetText(m_ripRows[i], kColumnStatus, status);
  }
}

void CMainFrame::FilterRipReadsForTests(
    const std::function<std::unique_ptr<ISectorSource>(ISectorSource&)>& filter,
    bool driveSettingsForImages) {
  if (IsRipping()) return;
  // The job holds on to its source: it goes before the source it reads.
  m_ripJob.reset();
  m_filteredSource = filter ? filter(*m_source) : nullptr;
  m_ripJob = std::make_unique<RipJob>(*m_messenger, m_filteredSource ? *m_filteredSource : *m_source);
  m_imagesAsDrives = driveSettingsForImages;
}

void CMainFrame::StartLookup() {
  StopLookup();
  RefreshTrackView();
  LookupRequest request;
  request.drive = m_driveName;
  request.libraryFolder = m_settings.DefaultLibFolder;
  request.server = CddbServerFromEnvironment();
  request.helloEmail = m_settings.CDDBEmail;
  request.record = m_discInfo;
  request.disc = m_toc;
  request.order = ParseLookupOrder(m_settings.LookupOrder);
  m_lookup->Start(std::move(request));
}

void CMainFrame::StopLookup() {
  // An answer still waiting for its question is as stale as a running search.
  m_pendingAnswer.reset();
  if (!m_lookup->IsRunning()) return;
  m_lookup->Stop();
  OnSetStatusText("");
}

void CMainFrame::OnLookupDone(uint64_t generation, LookupOutcome outcome) {
  if (!m_lookup->IsCurrent(generation)) return;
  m_lookup->Finished(generation);
  if (outcome.kind == LookupOutcome::kFailed)
    NotifyIfAway(tr("No titles found"), QString::fromStdString(outcome.cause));
  else if (outcome.candidates.size() > 1)
    NotifyIfAway(tr("Titles found"),
                 tr("%1 releases match the disc: choose one in the window.").arg(outcome.candidates.size()));
  else
    NotifyIfAway(tr("Titles found"), QString::fromStdString(outcome.record.albumTitle));
  if (outcome.kind == LookupOutcome::kFailed) {
    if (m_statusText) m_statusText->setText(tr("Failed to Get disc-info!"));
    // The status bar keeps its short text; why it failed goes under the drive list.
    m_view->DrivePanel()->SetInfoText(tr("No disc-info: %1").arg(QString::fromStdString(outcome.cause)));
    UpdateCommandUI();
    return;
  }
  if (outcome.kind == LookupOutcome::kFromLibrary) {
    m_discInfo = std::move(outcome.record);
    m_discSource.clear();
    RefreshTrackView();
    OnSetStatusText("");
    UpdateCommandUI();
    return;
  }
  // The question waits while the user types in the track editor, rather than taking the keys.
  if (outcome.candidates.size() > 1 && m_view->IsEditingTrack()) {
    m_pendingAnswer = PendingAnswer{std::move(outcome), m_discInfo};
    return;
  }
  TakeAnswer(std::move(outcome));
}

void CMainFrame::TakeAnswer(LookupOutcome outcome, const CDiscInfo* typedSince) {
  if (outcome.candidates.size() > 1) {
    CChooseReleaseDlg dialog(this, outcome.candidates);
    const uint64_t layout = m_view->Rows().Layout();
    const int answer = Prompts::Current().RunModal(dialog);
    OnSetStatusText("");
    // Cancel keeps the numbered titles, and the disc is looked up again next time.
    if (answer != QDialog::Accepted || m_view->Rows().Layout() != layout) {
      UpdateCommandUI();
      return;
    }
    // On the record as it is now, which has the rows of the disc and whatever was typed.
    outcome.record = m_discInfo;
    ApplyCandidate(outcome.record, &outcome.candidates[size_t(dialog.Chosen())], outcome.discId,
                   RowTrackNumber(m_toc, 0));
    if (typedSince) KeepTypedFields(*typedSince, m_discInfo, outcome.record);
  }
  m_discInfo = std::move(outcome.record);
  m_discSource = LookupSourceName(outcome.source);
  RefreshTrackView();
  if (m_settings.SaveLibraryAutomatically) m_discInfo.SaveDiscInfo(m_settings.DefaultLibFolder);
  OnSetStatusText("");
  UpdateCommandUI();
}

void CMainFrame::RefreshTrackView() {
  QString info =
      tr("Album title: %1, Album artist: %2")
          .arg(QString::fromStdString(m_discInfo.albumTitle), QString::fromStdString(m_discInfo.albumArtist));
  if (!m_discSource.empty()) info += QStringLiteral(" (%1)").arg(QString::fromStdString(m_discSource));
  m_view->DrivePanel()->SetInfoText(info);
  TrackListRows& rows = m_view->Rows();
  // Every row gets a record: numbered ones where the record has fewer tracks than the disc rows.
  for (int row = static_cast<int>(m_discInfo.tracks.size()); row < rows.RowCount(); ++row)
    m_discInfo.tracks.emplace_back(0, 0, NumberedTrackName(RowTrackNumber(m_toc, row)).c_str());
  for (int row = 0; row < rows.RowCount(); ++row) {
    CTrackInfo& track = m_discInfo.tracks[static_cast<size_t>(row)];
    // The sectors are this disc's, whatever a library file or an entry said.
    const TrackSpan span = RowSpan(rows, row);
    track.setRange(span.begin, span.end);
    rows.SetText(row, kColumnName, track.title());
    rows.SetItemData(row, &track);
  }
}

intptr_t CMainFrame::HandleMessage(unsigned message, uintptr_t wParam, intptr_t lParam) {
  intptr_t result = 0;
  switch (message) {
    case WM_READ_TOC:
      result = OnReadToc(reinterpret_cast<CdDevice*>(lParam));
      break;
    case WM_RIP_STARTED:
      OnRipStarted();
      break;
    case WM_RIP_FINISHED:
      OnRipFinished();
      break;
    case WM_RIP_PROGRESS: {
      const auto* progress = reinterpret_cast<const RipProgress*>(lParam);
      m_progress->SetTrackProgress(progress->sectorIndex, progress->trackSectors);
      m_progress->SetTotalProgress(progress->doneSectors, progress->totalSectors);
      break;
    }
    case WM_RIP_FILE_NAME:
      m_progress->SetName(QString::fromUtf8(reinterpret_cast<const char*>(lParam)));
      break;
    case WM_RIP_SUSPEND:
      if (IsRipping()) m_ripJob->Pause();
      break;
    case WM_RIP_RESUME:
      if (IsRipping()) m_ripJob->Resume();
      break;
    case WM_RIP_CANCEL:
      m_ripJob->Cancel();
      // The worker may be waiting on a box of the job: it ends as No, and the job stops.
      Prompts::Current().EndJobBox();
      break;
    case WM_ASK_OVERWRITE:
      AskOverwrite(this, QString::fromUtf8(reinterpret_cast<const char*>(wParam)),
                   reinterpret_cast<int32_t*>(lParam));
      break;
    case WM_SET_STATUS_TEXT:
      OnSetStatusText(reinterpret_cast<const char*>(lParam));
      break;
    case WM_SET_DRIVE_NAME: {
      const char* name = reinterpret_cast<const char*>(lParam);
      m_driveName = name ? name : "";
      break;
    }
    case WM_PLAY_START:
      result = m_play->OnPlayStart(m_view->Rows(), m_view->Rows().FirstSelectedRow());
      break;
    case WM_PLAY_STOP:
      m_play->OnPlayStop();
      break;
    case WM_PLAY_BUFFER_DONE:
      m_play->OnBufferDone();
      break;
    case WM_GET_PLAY_POSITION:
      m_play->FillPlayPosition(reinterpret_cast<PlayPosition*>(lParam));
      break;
  }
  if (m_view) UpdateCommandUI();
  return result;
}

void CMainFrame::SaveDiscInfoIfAny() {
  // A record of nothing but the table of contents is not kept: the disc is looked up next time.
  if (m_discInfo.discId != 0 && !m_discInfo.HoldsOnlyNumberedTracks())
    m_discInfo.SaveDiscInfo(m_settings.DefaultLibFolder);
}

intptr_t CMainFrame::OnReadToc(CdDevice* device) {
  StopLookup();
  SaveDiscInfoIfAny();
  // A new disc starts with an empty record: the old disc's titles must not name these rows, nor
  // edits of these rows be saved under the old disc's id.
  m_discInfo = CDiscInfo();
  m_discSource.clear();
  m_device = device;
  if (ReadTocIntoRows(m_device, m_toc, m_view->Rows()) != 0) return -1;
  if (const std::optional<TrackSpan> hidden = HiddenTrackOf(*m_device, m_toc))
    m_view->Rows().ShowHiddenTrack(*hidden);
  // The disc is known from here on, so that titles typed without a lookup are kept for it too.
  m_discInfo.discId = DiscIdOf(m_toc.toc);
  m_discInfo.discLength = DiscLengthOf(m_toc.toc);
  if (m_settings.GetDiscInfoAutomatically) StartLookup();
  return 0;
}

void CMainFrame::OnSetStatusText(const char* text) {
  if (m_statusText) m_statusText->setText(QString::fromUtf8(text ? text : ""));
}

QString CMainFrame::StatusPrompt() const { return m_statusPrompt ? m_statusPrompt->text() : QString(); }
QString CMainFrame::StatusText() const { return m_statusText ? m_statusText->text() : QString(); }

bool CMainFrame::event(QEvent* event) {
  if (event->type() == QEvent::StatusTip) {
    // Prompts go to pane 0 only; pane 1 keeps its status text.
    const QString tip = static_cast<QStatusTipEvent*>(event)->tip();
    if (m_statusPrompt) m_statusPrompt->setText(tip.isEmpty() ? QStringLiteral(" ") : tip);
    return true;
  }
  return QMainWindow::event(event);
}

void CMainFrame::closeEvent(QCloseEvent* event) {
  if (IsPlaying()) {
    Prompts::Current().ShowError(this, tr("Please stop playing before exit this application!"));
    event->ignore();
    return;
  }
  if (IsRipping()) {
    Prompts::Current().ShowError(this, tr("Please stop ripping before exit this application!"));
    event->ignore();
    return;
  }
  StopLookup();
  event->accept();
  SaveDiscInfoIfAny();
}

}  // namespace korvi
