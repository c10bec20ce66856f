#pragma once
// The window's rip flow: which rows go and where to, the job on its worker, the progress window and
// the track list while it runs, and what the user is told when it ends.

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "disc/cdrom_toc.h"
#include "disc/drive_claim.h"
#include "disc/sector_source.h"
#include "library/disc_info.h"
#include "rip/rip_job.h"
#include "settings/app_settings.h"

class QTimer;
class QWidget;

namespace korvi {

class CChildView;
class CProgressDlg;
class CdDevice;
class RegistryStore;
class DesktopNotifier;
class QtFrameMessenger;

// How the window's rips read the drive.
struct RipReads {
  // When set, the rips read through filter(the drive): an emulated drive in front of an image.
  std::function<std::unique_ptr<ISectorSource>(ISectorSource&)> filter;
  // An image is read as the drive settings say (secure reading, offset), as a drive is.
  bool imagesAsDrives = false;
  // Where the read offsets of drive models are kept; without it a drive is read at the one offset
  // of the settings.
  const RegistryStore* store = nullptr;
};

// The window's disc as it stands: references to what the window keeps, read when a rip starts.
struct WindowDisc {
  CdDevice* const& device;
  const DiscToc& toc;
  const std::string& driveName;
  const CDiscInfo& record;  // titled when its disc id is set
};

class RipController : public QObject {
  Q_OBJECT
 public:
  RipController(QWidget& window, QtFrameMessenger& messenger, const CAppSettings& settings, WindowDisc disc,
                const DesktopNotifier& notifier, ISectorSource& drive, RipReads reads);
  ~RipController() override;

  // Binds the track list and makes the progress window.
  void Attach(CChildView& view);
  // Rips the checked rows in format; the user hears why when it cannot start.
  void Start(int format);
  // Stops a job still running and serves its last messages, so that it is not left waiting for
  // this thread; for the window's teardown.
  void StopAndWait();

  // From a job's start until the window has handled its end.
  bool IsRipping() const { return m_underway || m_job->IsRunning(); }
  RipJob& Job() { return *m_job; }
  CProgressDlg* ProgressDialog() const { return m_progress; }

  // The job's messages, on the window's thread.
  void OnStarted();
  void OnFinished();
  void OnProgress(const RipProgress& progress);
  void OnFileName(const char* path);
  void OnSuspend();
  void OnResume();
  void OnCancel();

 private:
  bool CollectCheckedTracks();
  RipSettings SettingsFor(int format) const;
  void ReportStartError() const;
  // The bars follow the job's counters at the repaint rate rather than a message per sector.
  void ShowStatus();
  // Each ripped track's row shows how it was read.
  void ShowTrackStatus();
  void NotifyEnded() const;
  // What AccurateRip said of the job and where its log went; empty when it verified nothing.
  QString VerdictText() const;

  QWidget& m_window;
  QtFrameMessenger& m_messenger;
  const CAppSettings& m_settings;
  WindowDisc m_disc;
  const DesktopNotifier& m_notifier;
  bool m_imagesAsDrives;
  const RegistryStore* m_store;
  std::unique_ptr<ISectorSource> m_filtered;  // before the job that reads it
  std::unique_ptr<RipJob> m_job;
  std::optional<DriveClaim> m_claim;  // of the drive, while a job rips from it
  CChildView* m_view = nullptr;
  CProgressDlg* m_progress = nullptr;
  QTimer* m_statusTimer = nullptr;
  bool m_underway = false;
  uint64_t m_layout = 0;  // of the rows when the job started
  std::string m_outputFolder;
  std::vector<RipTrack> m_tracks;
  std::vector<int> m_rows;  // the row of each of m_tracks; kHiddenRow for the hidden track
  static constexpr int kHiddenRow = -1;
};

}  // namespace korvi
