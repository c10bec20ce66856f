#pragma once
// The main window: owns the settings, the open drive, the track list view, the toolbar and the
// status bar, and handles every command and every notification of the program.

#include <QMainWindow>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "app/commands.h"
#include "app/desktop_notifier.h"
#include "app/qt_messenger.h"
#include "disc/cdrom_toc.h"
#include "library/disc_info.h"
#include "library/lookup.h"
#include "messages/messenger.h"
#include "playback/play_control.h"
#include "rip/rip_job.h"
#include "settings/app_settings.h"
#include "settings/registry_store.h"
#include "settings/user_folders.h"

class QAction;
class QLabel;
class QTimer;

namespace korvi {

class CChildView;
class CProgressDlg;
class CToolBarEx;
class CdDevice;
class RipJob;

class CMainFrame : public QMainWindow {
  Q_OBJECT
 public:
  // Fills the settings with defaults (creating the default library folder) and loads them.
  explicit CMainFrame(const UserFolders& folders = UserFolders::FromEnvironment());
  // Saves the settings.
  ~CMainFrame() override;

  // Builds the view (which reads the first drive), the status bar, the toolbar and the menus.
  bool Create();

  intptr_t HandleMessage(unsigned message, uintptr_t wParam, intptr_t lParam);
  IFrameMessenger& Messenger() { return *m_messenger; }

  // Carries out a command, unless its enabling rule says no.
  void OnCommand(int id);
  CommandState State() const;
  bool IsCommandEnabled(int id) const { return CommandEnabled(id, State()); }
  // Re-evaluates the enabling rules for the menu, the keys and the toolbar.
  void UpdateCommandUI();
  QAction* Action(int id) const;

  bool IsRipping() const;
  bool IsPlaying() const { return m_play && m_play->IsPlaying(); }
  PlayControl& Play() { return *m_play; }

  CAppSettings& Settings() { return m_settings; }
  CChildView* View() const { return m_view; }
  CToolBarEx* ToolBar() const { return m_toolBar; }
  const std::string& DriveName() const { return m_driveName; }
  CdDevice* Device() const { return m_device; }
  const DiscToc& Toc() const { return m_toc; }
  CProgressDlg* ProgressDialog() const { return m_progress; }
  CDiscInfo& DiscInfo() { return m_discInfo; }
  RipJob& Rip() { return *m_ripJob; }
  // Tests only: rips read through filter(the device), and an image is read with a drive's settings.
  void FilterRipReadsForTests(const std::function<std::unique_ptr<ISectorSource>(ISectorSource&)>& filter,
                              bool driveSettingsForImages);
  QString StatusPrompt() const;
  QString StatusText() const;

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool event(QEvent* event) override;

 private:
  void CreateStatusBar();
  void CreateActions();
  void CreateMenus();
  void CreateToolBar();
  void ApplyPanelFont();

  intptr_t OnReadToc(CdDevice* device);
  void OnSetStatusText(const char* text);
  void SelectAll(bool checked);
  void StartRip(int format);
  void OnRipStarted();
  void OnRipFinished();
  // Whether this window or one of its own is the active one.
  bool IsUserHere() const;
  // A notification on the desktop, for when the user looks at another window while a job ends.
  void NotifyIfAway(const QString& summary, const QString& body) const;
  void NotifyRipEnded() const;
  // What AccurateRip said of the job and where its log went; empty when it verified nothing.
  QString RipVerdictText() const;
  // Each ripped track's row shows how it was read.
  void ShowTrackStatus();
  // The bars follow the job's counters at the repaint rate rather than a message per sector.
  void ShowRipStatus();
  bool CollectCheckedTracks();
  // The frame's reads go to whatever drive the panel opened last.
  class DeviceSource;
  void StartLookup();
  void StopLookup();
  // Keeps the user's edits of the disc being left.
  void SaveDiscInfoIfAny();
  void OnLookupDone(uint64_t generation, LookupOutcome outcome);
  // Takes a source's answer: asks which one when there are several, applies it and keeps it.
  // typedSince: the record as it was before the user edited tracks, whose edits then stay.
  void TakeAnswer(LookupOutcome outcome, const CDiscInfo* typedSince = nullptr);

 public:
  // Shows the record in the info line and binds every row to a track record of it.
  void RefreshTrackView();
  bool IsLookingUp() const { return m_lookup && m_lookup->IsRunning(); }

 private:
  UserFolders m_folders;
  std::unique_ptr<DeviceSource> m_source;
  std::unique_ptr<ISectorSource> m_filteredSource;  // declared before the job that reads it
  bool m_imagesAsDrives = false;
  std::unique_ptr<RipJob> m_ripJob;
  uint64_t m_ripLayout = 0;    // of the rows when the job started
  bool m_ripUnderway = false;  // from a job's start until the frame has handled its end
  CdDevice* m_device = nullptr;
  std::vector<RipTrack> m_ripList;
  std::vector<int> m_ripRows;  // the row of each track of m_ripList; kHiddenRow for the hidden track
  static constexpr int kHiddenRow = -1;
  CDiscInfo m_discInfo;
  std::string m_discSource;  // the source the titles came from, for the info line; empty: none
  std::unique_ptr<DiscInfoLookup> m_lookup;
  // An answer that waits for the track editor to close before it asks its question, and the
  // record as it was when the answer came.
  struct PendingAnswer {
    LookupOutcome outcome;
    CDiscInfo before;
  };
  std::optional<PendingAnswer> m_pendingAnswer;
  std::unique_ptr<PlayControl> m_play;
  std::string m_outputFolder;
  int m_ripFormat = 0;
  CAppSettings m_settings;
  RegistryStore m_store;
  CToolBarEx* m_toolBar = nullptr;
  std::string m_driveName;
  DiscToc m_toc;
  QLabel* m_statusPrompt = nullptr;
  QLabel* m_statusText = nullptr;
  CProgressDlg* m_progress = nullptr;
  QTimer* m_ripStatusTimer = nullptr;
  CChildView* m_view = nullptr;
  std::unique_ptr<QtFrameMessenger> m_messenger;
  std::map<int, QAction*> m_actions;
  DesktopNotifier m_notifier;
};

}  // namespace korvi
