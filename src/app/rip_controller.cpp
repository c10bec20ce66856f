#include "app/rip_controller.h"

#include <QTimer>
#include <QTreeWidget>
#include <QWidget>
#include <optional>

#include "app/desktop_notifier.h"
#include "app/qt_messenger.h"
#include "app/serve_events.h"
#include "disc/cd_device.h"
#include "disc/drive_facts.h"
#include "disc/hidden_track.h"
#include "disc/track_rows.h"
#include "rip/output_format.h"
#include "settings/drive_read_offset.h"
#include "settings/rip_settings_of.h"
#include "ui/child_view.h"
#include "ui/drive_control_panel.h"
#include "ui/progress_dlg.h"
#include "ui/prompts.h"
#include "ui/track_list_rows.h"

namespace korvi {
namespace {

// The progress window repaints at this rate at most; the job is not held for it.
constexpr int kStatusMilliseconds = 50;

}  // namespace

RipController::RipController(QWidget& window, QtFrameMessenger& messenger, const CAppSettings& settings,
                             WindowDisc disc, const DesktopNotifier& notifier, ISectorSource& drive,
                             RipReads reads)
    : m_window(window),
      m_messenger(messenger),
      m_settings(settings),
      m_disc(disc),
      m_notifier(notifier),
      m_imagesAsDrives(reads.imagesAsDrives),
      m_store(reads.store),
      m_filtered(reads.filter ? reads.filter(drive) : nullptr),
      m_job(std::make_unique<RipJob>(messenger, m_filtered ? *m_filtered : drive)) {}

RipController::~RipController() = default;

void RipController::Attach(CChildView& view) {
  m_view = &view;
  m_progress = new CProgressDlg(m_messenger, &m_window);
  m_progress->hide();
  m_statusTimer = new QTimer(this);
  m_statusTimer->setInterval(kStatusMilliseconds);
  connect(m_statusTimer, &QTimer::timeout, this, &RipController::ShowStatus);
}

void RipController::StopAndWait() {
  m_job->Cancel();
  m_job->Resume();
  ServeEventsWhile([this] { return m_job->IsRunning(); });
}

void RipController::Start(int format) {
  Prompts& prompts = Prompts::Current();
  if (!CollectCheckedTracks()) {
    prompts.ShowError(&m_window, tr("No track selected, please select one or more tracks before continue!"));
    return;
  }
  if (!FindOutputFormat(format)) return;
  m_outputFolder = m_settings.DefaultFolder;
  if (m_settings.ShowSelectorBeforeSave) {
    const QString folder = prompts.ChooseFolder(&m_window, tr("Please choose a folder for output file(s):"),
                                                QString::fromStdString(m_outputFolder));
    if (folder.isEmpty()) return;
    m_outputFolder = folder.toStdString();
  }
  if (m_outputFolder.empty()) {
    prompts.ShowError(&m_window, tr("No output folder is set: choose one in Settings."));
    return;
  }
  m_layout = m_view->Rows().Layout();
  if (m_disc.device && !m_disc.device->isImage()) {
    std::string busy;
    m_claim = DriveClaim::Take(m_disc.driveName, &busy);
    if (!m_claim) {
      prompts.ShowError(&m_window, tr("The rip could not be started: %1").arg(QString::fromStdString(busy)));
      return;
    }
  }
  m_underway = m_job->Start(m_tracks, SettingsFor(format));
  if (!m_underway) {
    m_claim.reset();
    ReportStartError();
  }
}

RipSettings RipController::SettingsFor(int format) const {
  // A drive is read as the settings say; an image holds the disc's samples as they are.
  CdDevice* device = m_disc.device;
  const bool drive = device && (!device->isImage() || m_imagesAsDrives);
  const CDiscInfo* record = m_disc.record.discId != 0 ? &m_disc.record : nullptr;
  RipSettings settings = RipSettingsOf(m_settings, m_disc.toc, drive);
  // A real drive is read at its model's offset; the drive list is not fetched from this thread.
  if (m_store && device && !device->isImage())
    if (const std::optional<DriveIdentity> identity = ReadDriveIdentity(*device)) {
      const DriveReadOffset offset = ReadOffsetOfModel(*m_store, m_settings, DriveModelName(*identity), false);
      if (offset.source != ReadOffsetSource::kNotKnown) settings.readOffset = offset.offset;
    }
  if (device && !device->isImage()) settings.drive = device;
  settings.folder = m_outputFolder;
  settings.format = static_cast<OutputFormat>(format);
  settings.report = ReportDiscOf(m_disc.driveName, m_disc.toc, record);
  settings.tags = DiscTagsOf(m_disc.toc, record);
  // Read through the window's copy of the device, as the audio is: the panel replaces the device
  // only after the window has taken the new one, and not at all while a job runs.
  settings.report.readCodes = [this](DiscText& text) {
    if (m_disc.device) m_disc.device->ReadCodes(text);
  };
  // Called on the worker, which waits until the user has seen the message.
  settings.writer.showError = [this](const std::string& text) {
    m_messenger.RunAndWait(
        [this, &text] { Prompts::Current().ShowJobError(&m_window, QString::fromStdString(text)); });
  };
  return settings;
}

void RipController::ReportStartError() const {
  if (m_job->StartError().empty()) return;
  Prompts::Current().ShowError(
      &m_window, tr("The rip could not be started: %1").arg(QString::fromStdString(m_job->StartError())));
}

bool RipController::CollectCheckedTracks() {
  m_tracks.clear();
  m_rows.clear();
  TrackListRows& rows = m_view->Rows();
  if (const std::optional<TrackSpan> hidden = rows.CheckedHiddenTrack()) {
    m_tracks.push_back({CTrackInfo(hidden->begin, hidden->end, kHiddenTrackTitle), 0});
    m_rows.push_back(kHiddenRow);
  }
  for (int row = 0; row < rows.RowCount(); ++row) {
    if (!rows.IsChecked(row)) continue;
    const TrackSpan span = RowSpan(rows, row);
    CTrackInfo* record = rows.ItemData(row);
    // The disc's own number names an untitled track's file, as the row names it.
    const int number = RowTrackNumber(m_disc.toc, row);
    if (record) {
      record->setRange(span.begin, span.end);
      m_tracks.push_back({*record, number});
    } else {
      // Not bound to a record yet: the row itself says all that a rip needs.
      m_tracks.push_back({CTrackInfo(span.begin, span.end, rows.Text(row, kColumnName).c_str()), number});
    }
    m_rows.push_back(row);
  }
  return !m_tracks.empty();
}

void RipController::OnStarted() {
  m_view->TrackList()->setEnabled(false);
  m_view->DrivePanel()->setEnabled(false);
  m_progress->Start();
  m_progress->show();
  m_statusTimer->start();
}

void RipController::ShowStatus() {
  const RipStatus status = m_job->Status();
  if (status.track >= 0) m_progress->SetTrackProgress(status.sectorIndex, status.trackSectors);
  m_progress->SetTotalProgress(status.doneSectors, status.totalSectors);
}

void RipController::OnProgress(const RipProgress& progress) {
  m_progress->SetTrackProgress(progress.sectorIndex, progress.trackSectors);
  m_progress->SetTotalProgress(progress.doneSectors, progress.totalSectors);
}

void RipController::OnFileName(const char* path) { m_progress->SetName(QString::fromUtf8(path)); }

void RipController::OnSuspend() {
  if (IsRipping()) m_job->Pause();
}

void RipController::OnResume() {
  if (IsRipping()) m_job->Resume();
}

void RipController::OnCancel() {
  m_job->Cancel();
  // The worker may be waiting on a box of the job: it ends as No, and the job stops.
  Prompts::Current().EndJobBox();
}

void RipController::OnFinished() {
  // Until now a quick job's end was still on its way here: no other job may start meanwhile.
  m_underway = false;
  // Asked before the progress window goes, which takes the activation with it.
  const bool away = !IsUserIn(m_window);
  m_view->TrackList()->setEnabled(true);
  m_view->DrivePanel()->setEnabled(true);
  m_statusTimer->stop();
  ShowStatus();
  m_progress->Stop();
  m_job->Join();
  m_claim.reset();
  ShowTrackStatus();
  // Before the report below, which waits for the user.
  if (away) NotifyEnded();
  // A job the user stopped says no more than what went wrong.
  const QString verdict = m_job->WasStopped() ? QString() : VerdictText();
  const std::vector<RipFailure>& failures = m_job->Failures();
  const QString ended = m_job->MediumLost().empty()
                            ? QString()
                            : tr("The rip ended early: %1.").arg(QString::fromStdString(m_job->MediumLost()));
  if (failures.empty()) {
    if (!ended.isEmpty()) Prompts::Current().ShowError(&m_window, ended);
    else if (!verdict.isEmpty()) Prompts::Current().ShowInformation(&m_window, verdict);
    return;
  }
  QString text = ended.isEmpty() ? QString() : ended + QStringLiteral("\n\n");
  text += tr("These files could not be written completely:\n");
  for (const RipFailure& failure : failures)
    text += QStringLiteral("\n%1\n    %2")
                .arg(QString::fromStdString(failure.path), QString::fromStdString(failure.cause));
  if (!verdict.isEmpty()) text += QStringLiteral("\n\n") + verdict;
  Prompts::Current().ShowError(&m_window, text);
}

void RipController::NotifyEnded() const {
  const QString folder = QString::fromStdString(m_outputFolder);
  if (m_job->WasStopped()) {
    m_notifier.Notify(tr("Rip stopped"), tr("The rip to %1 was stopped.").arg(folder));
    return;
  }
  const size_t failed = m_job->Failures().size();
  const size_t tracks = m_job->Tracks().size();
  if (failed > 0) {
    m_notifier.Notify(tr("Rip finished with errors"),
                      tr("%1 of %2 files could not be written completely.").arg(failed).arg(tracks));
    return;
  }
  m_notifier.Notify(tr("Rip finished"), tracks == 1 ? tr("1 track ripped to %1").arg(folder)
                                                    : tr("%1 tracks ripped to %2").arg(tracks).arg(folder));
}

QString RipController::VerdictText() const {
  const std::string summary = m_job->AccurateRipSummaryText();
  if (summary.empty()) return {};
  QString text = QString::fromStdString(summary) + QLatin1Char('.');
  if (!m_job->LogFile().empty())
    text += tr("\n\nThe rip log is in %1").arg(QString::fromStdString(m_job->LogFile()));
  return text;
}

void RipController::ShowTrackStatus() {
  TrackListRows& rows = m_view->Rows();
  // After a table-of-contents read the row numbers may name other tracks.
  if (rows.Layout() != m_layout) return;
  const std::vector<RipTrack>& tracks = m_job->Tracks();
  const std::vector<TrackResult>& results = m_job->Results();
  for (size_t i = 0; i < tracks.size() && i < results.size() && i < m_rows.size(); ++i) {
    const std::string status = results[i].StatusText(tracks[i].info.begin());
    if (m_rows[i] == kHiddenRow)
      rows.SetHiddenTrackStatus(status);
    else
      rows.SetText(m_rows[i], kColumnStatus, status);
  }
}

}  // namespace korvi
