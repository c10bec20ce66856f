#pragma once
// The main window: owns the settings, the open drive, the track list view, the toolbar and the
// status bar, carries out the commands and takes the program's messages; the rip and the titles of
// the disc have controllers of their own.

#include <QMainWindow>
#include <map>
#include <memory>
#include <string>

#include "app/commands.h"
#include "app/desktop_notifier.h"
#include "app/lookup_controller.h"
#include "app/qt_messenger.h"
#include "app/rip_controller.h"
#include "disc/cdrom_toc.h"
#include "library/disc_info.h"
#include "messages/messenger.h"
#include "playback/play_control.h"
#include "rip/rip_job.h"
#include "settings/app_settings.h"
#include "settings/registry_store.h"
#include "settings/user_folders.h"

class QAction;
class QLabel;

namespace korvi {

class CChildView;
class CProgressDlg;
class CToolBarEx;
class CdDevice;

class CMainFrame : public QMainWindow {
  Q_OBJECT
 public:
  // Fills the settings with defaults (creating the default library folder) and loads them. The rips
  // read the drive as reads says.
  explicit CMainFrame(const UserFolders& folders = UserFolders::FromEnvironment(), RipReads reads = {});
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

  bool IsRipping() const { return m_rip->IsRipping(); }
  bool IsPlaying() const { return m_play && m_play->IsPlaying(); }
  PlayControl& Play() { return *m_play; }

  CAppSettings& Settings() { return m_settings; }
  CChildView* View() const { return m_view; }
  CToolBarEx* ToolBar() const { return m_toolBar; }
  const std::string& DriveName() const { return m_driveName; }
  CdDevice* Device() const { return m_device; }
  const DiscToc& Toc() const { return m_toc; }
  CProgressDlg* ProgressDialog() const { return m_rip->ProgressDialog(); }
  CDiscInfo& DiscInfo() { return m_lookup->Record(); }
  RipJob& Rip() { return m_rip->Job(); }
  bool IsLookingUp() const { return m_lookup->IsRunning(); }
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
  void OnSetStatusText(const QString& text);
  void SelectAll(bool checked);
  void StartRip(int format);
  // The frame's reads go to whatever drive the panel opened last.
  class DeviceSource;

  UserFolders m_folders;
  CdDevice* m_device = nullptr;
  std::unique_ptr<DeviceSource> m_source;
  std::unique_ptr<PlayControl> m_play;
  CAppSettings m_settings;
  RegistryStore m_store;
  CToolBarEx* m_toolBar = nullptr;
  std::string m_driveName;
  DiscToc m_toc;
  QLabel* m_statusPrompt = nullptr;
  QLabel* m_statusText = nullptr;
  CChildView* m_view = nullptr;
  std::unique_ptr<QtFrameMessenger> m_messenger;
  std::map<int, QAction*> m_actions;
  DesktopNotifier m_notifier;
  // After what they refer to; the rip's job holds on to the drive's source.
  std::unique_ptr<LookupController> m_lookup;
  std::unique_ptr<RipController> m_rip;
};

}  // namespace korvi
