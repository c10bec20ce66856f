#pragma once
// The strip above the track list where the user picks the drive: "CDROM:", the drive list,
// "&Refresh" and an info line for the album and artist.

#include <QWidget>
#include <memory>
#include <string>

class QComboBox;
class QLabel;
class QPushButton;

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
  std::unique_ptr<CdDevice> m_device;
  std::string m_driveName;
};

}  // namespace korvi
