#include "ui/progress_dlg.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QResizeEvent>
#include <QScopedValueRollback>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "messages/messenger.h"
#include "ui/prompts.h"

namespace korvi {
namespace {

constexpr int kTickMilliseconds = 1000;
constexpr int kDialogWidth = 460;
constexpr int kDialogHeight = 230;

QProgressBar* MakeBar(const char* name) {
  auto* bar = new QProgressBar;
  bar->setObjectName(QString::fromLatin1(name));
  bar->setTextVisible(false);
  return bar;
}

void ShowProgress(QProgressBar* bar, int position, int maximum) {
  // A bar ignores a value outside its range, so one past the end would leave the previous value.
  // Qt draws a range of 0..0 as "busy": a one-sector track shows an empty bar instead.
  const int top = std::max(maximum, 1);
  bar->setRange(0, top);
  bar->setValue(std::clamp(position, 0, top));
}

QString ElapsedText(int seconds) {
  return QCoreApplication::translate("korvi::CProgressDlg", "Time: %1:%2:%3")
      .arg(seconds / 3600)
      .arg((seconds / 60) % 60)
      .arg(seconds % 60);
}

bool ConfirmStop(QWidget* parent) {
  QMessageBox box(QMessageBox::Question, QCoreApplication::translate("korvi::CProgressDlg", "Confirmation"),
                  QCoreApplication::translate("korvi::CProgressDlg", "Stop ripping?"),
                  QMessageBox::Yes | QMessageBox::No, parent);
  return Prompts::Current().RunModal(box) == QMessageBox::Yes;
}

}  // namespace

// A label for a path: shortened in the middle to its width, so a long path neither widens the
// window nor loses its file name.
class CProgressDlg::PathLabel : public QLabel {
 public:
  PathLabel() {
    // Its width comes from the layout, never from the path.
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  }

  void SetPath(const QString& path) {
    m_path = path;
    setToolTip(path);
    Elide();
  }

 protected:
  void resizeEvent(QResizeEvent* event) override {
    QLabel::resizeEvent(event);
    Elide();
  }

 private:
  void Elide() { setText(fontMetrics().elidedText(m_path, Qt::ElideMiddle, contentsRect().width())); }

  QString m_path;
};

CProgressDlg::CProgressDlg(IFrameMessenger& frame, QWidget* parent) : QDialog(parent), m_frame(frame) {
  setWindowTitle(tr("Please wait ..."));

  m_clock = new QTimer(this);
  m_clock->setObjectName("clockTimer");
  m_clock->setInterval(kTickMilliseconds);
  connect(m_clock, &QTimer::timeout, this, &CProgressDlg::Tick);

  auto* cancel = new QPushButton(tr("Cancel"));
  cancel->setObjectName("cancelButton");
  // Enter must not stop a rip by accident; only a deliberate press of Cancel asks.
  cancel->setAutoDefault(false);
  connect(cancel, &QPushButton::clicked, this, &CProgressDlg::AskStop);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(MakeTotalGroup());
  layout->addWidget(MakeTrackGroup());
  layout->addStretch(1);
  layout->addWidget(cancel, 0, Qt::AlignHCenter);
  resize(kDialogWidth, kDialogHeight);
}

QWidget* CProgressDlg::MakeTotalGroup() {
  auto* group = new QGroupBox(tr("Total Progress:"));
  m_totalBar = MakeBar("totalBar");
  m_timeLabel = new QLabel(tr("Time:"));
  m_timeLabel->setObjectName("timeLabel");
  auto* layout = new QVBoxLayout(group);
  layout->addWidget(m_totalBar);
  layout->addWidget(m_timeLabel);
  return group;
}

QWidget* CProgressDlg::MakeTrackGroup() {
  auto* group = new QGroupBox(tr("Single Track Progress:"));
  m_nameLabel = new PathLabel;
  m_nameLabel->setObjectName("nameLabel");
  m_trackBar = MakeBar("trackBar");
  auto* name = new QHBoxLayout;
  name->addWidget(new QLabel(tr("Name:")));
  name->addWidget(m_nameLabel, 1);
  auto* layout = new QVBoxLayout(group);
  layout->addLayout(name);
  layout->addWidget(m_trackBar);
  return group;
}

void CProgressDlg::Start() {
  m_elapsedSeconds = 0;
  m_clock->start();
  m_totalBar->setValue(0);
  m_trackBar->setValue(0);
  show();
  raise();
}

void CProgressDlg::Stop() {
  m_clock->stop();
  hide();
}

void CProgressDlg::SetTrackProgress(int position, int maximum) {
  ShowProgress(m_trackBar, position, maximum);
}

void CProgressDlg::SetTotalProgress(int position, int maximum) {
  ShowProgress(m_totalBar, position, maximum);
}

void CProgressDlg::SetName(const QString& path) { m_nameLabel->SetPath(path); }

void CProgressDlg::Tick() {
  ++m_elapsedSeconds;
  m_timeLabel->setText(ElapsedText(m_elapsedSeconds));
}

void CProgressDlg::reject() { AskStop(); }

void CProgressDlg::closeEvent(QCloseEvent* event) {
  if (!isVisible()) {
    event->accept();
    return;
  }
  event->ignore();
  AskStop();
}

void CProgressDlg::AskStop() {
  // A second request while the question is open would stack a second question on the first.
  if (m_asking) return;
  const QScopedValueRollback asking(m_asking, true);
  m_frame.Post(WM_RIP_SUSPEND);
  if (ConfirmStop(this)) m_frame.Post(WM_RIP_CANCEL);
  m_frame.Post(WM_RIP_RESUME);
}

}  // namespace korvi
