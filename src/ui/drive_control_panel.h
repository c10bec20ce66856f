#pragma once
// The strip above the track list where the user picks the drive: "CDROM:", the drive list,
// "&Refresh" and an info line for the album and artist.

#include <QWidget>
#include <memory>
#include <string>

#include "disc/cd_device.h"

class QComboBox;
class QLabel;
class QPushButton;
class QTimer;

namespace korvi {

class CdDevice;
class IFrameMessenger;

class CDriveControlPanel : public QWidget {
  Q_OBJECT
 public:
  CDriveControlPanel(IFrameMessenger& frame, QWidget* parent = nullptr);
  ~CDriveControlPanel() override;

  // Lists the drives, selects the first and refreshes it.
  void Create();
  // Opens the selected drive and has the frame read its table of contents.
  void Refresh();
  // Asks the drive what became of its disc, and refreshes when that changed: a disc put in is read
  // by itself, and a tray opened or a disc taken out empties the list. Runs on a timer while the
  // panel is enabled (never during a rip, which reads the same device).
  void WatchDrive();

  void SetInfoText(const QString& text);
  QString InfoText() const;
  const std::string& DriveName() const { return m_driveName; }
  CdDevice* Device() const { return m_device.get(); }
  void SetPanelFont(const QFont& font);

 private:
  IFrameMessenger& m_frame;
  QComboBox* m_drives;
  QLabel* m_label;
  QPushButton* m_refresh;
  QLabel* m_info;
  // Says on the info line why the drive has no disc to list.
  void ShowState(DriveState state);

  std::unique_ptr<CdDevice> m_device;
  std::string m_driveName;
  QTimer* m_watch;
  DriveState m_state = DriveState::kUnknown;  // as the last Refresh found the drive
};

}  // namespace korvi
