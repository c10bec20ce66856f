#include "ui/drive_control_panel.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "disc/cd_device.h"
#include "messages/messenger.h"

namespace korvi {

namespace {

// How often the drive is asked about its disc: a disc put in shows within about a second.
constexpr int kWatchMs = 1000;

}  // namespace

CDriveControlPanel::CDriveControlPanel(IFrameMessenger& frame, QWidget* parent)
    : QWidget(parent),
      m_frame(frame),
      m_drives(new QComboBox(this)),
      m_label(new QLabel(tr("CDROM:"), this)),
      m_refresh(new QPushButton(tr("&Refresh"), this)),
      m_info(new QLabel(tr("No disc-info!"), this)),
      m_watch(new QTimer(this)) {
  m_drives->setObjectName(QStringLiteral("driveList"));
  m_refresh->setObjectName(QStringLiteral("refreshButton"));
  m_info->setObjectName(QStringLiteral("infoLine"));
  m_drives->setMinimumWidth(150);
  m_drives->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  m_info->setTextFormat(Qt::PlainText);

  auto* layout = new QGridLayout(this);
  layout->setContentsMargins(7, 4, 7, 2);
  layout->setHorizontalSpacing(8);
  layout->setVerticalSpacing(2);
  layout->addWidget(m_label, 0, 0);
  layout->addWidget(m_drives, 0, 1);
  layout->addWidget(m_refresh, 0, 2);
  layout->setColumnStretch(3, 1);
  layout->addWidget(m_info, 1, 0, 1, 4);
  setFixedHeight(50);
  setAutoFillBackground(true);
  setBackgroundRole(QPalette::Button);

  connect(m_refresh, &QPushButton::clicked, this, &CDriveControlPanel::Refresh);
  m_watch->setInterval(kWatchMs);
  connect(m_watch, &QTimer::timeout, this, &CDriveControlPanel::WatchDrive);
}

CDriveControlPanel::~CDriveControlPanel() = default;

void CDriveControlPanel::Create() {
  for (const std::string& drive : EnumerateDrives()) m_drives->addItem(QString::fromStdString(drive));
  if (m_drives->count() > 0) m_drives->setCurrentIndex(0);
  connect(m_drives, &QComboBox::currentIndexChanged, this, &CDriveControlPanel::Refresh);
  Refresh();
  m_watch->start();
}

void CDriveControlPanel::Refresh() {
  m_info->clear();
  m_driveName = m_drives->currentText().toStdString();
  m_frame.Send(WM_SET_DRIVE_NAME, 0, reinterpret_cast<intptr_t>(m_driveName.c_str()));
  if (m_driveName.empty()) {
    // Nothing to open: say why the list stays empty instead of reading a device.
    m_info->setText(tr("No CD-ROM drive found."));
    return;
  }
  std::string error;
  std::unique_ptr<CdDevice> device = CdDevice::Open(m_driveName, &error);
  // The old device goes only after the frame has taken the new one, so its copy never dangles.
  const intptr_t result = m_frame.Send(WM_READ_TOC, 0, reinterpret_cast<intptr_t>(device.get()));
  m_device = std::move(device);
  m_state = result == 0 ? DriveState::kReady : m_device ? m_device->AskState() : DriveState::kUnknown;
  if (result != 0) m_info->setText(QString::fromStdString(m_device ? m_device->lastError() : error));
  ShowState(m_state);
}

void CDriveControlPanel::WatchDrive() {
  if (!isEnabled() || !m_device || m_device->isImage()) return;
  const DriveState state = m_device->AskState();
  // An unknown answer (a drive that cannot say) is no reason to read it again and again.
  if (state == DriveState::kUnknown) return;
  if (state == DriveState::kChanged || state != m_state) Refresh();
}

void CDriveControlPanel::ShowState(DriveState state) {
  if (state == DriveState::kTrayOpen) m_info->setText(tr("The drive's tray is open."));
  if (state == DriveState::kNoDisc) m_info->setText(tr("There is no disc in the drive."));
}

void CDriveControlPanel::SetInfoText(const QString& text) { m_info->setText(text); }

QString CDriveControlPanel::InfoText() const { return m_info->text(); }

void CDriveControlPanel::SetPanelFont(const QFont& font) {
  for (QWidget* control : {static_cast<QWidget*>(m_drives), static_cast<QWidget*>(m_label),
                           static_cast<QWidget*>(m_refresh), static_cast<QWidget*>(m_info)})
    control->setFont(font);
}

}  // namespace korvi
