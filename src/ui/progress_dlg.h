#pragma once
// The window shown while a rip runs: how far the job and its current track are, how long it has
// taken, and a way to stop it.

#include <QDialog>
#include <QString>

class QCloseEvent;
class QProgressBar;
class QLabel;
class QTimer;

namespace korvi {

class IFrameMessenger;

class CProgressDlg : public QDialog {
  Q_OBJECT

 public:
  // Modeless; the frame keeps it hidden between jobs.
  explicit CProgressDlg(IFrameMessenger& frame, QWidget* parent = nullptr);

  // A new job: shows the dialog, starts the clock at zero and puts both bars back to their start.
  // Ranges, name and time keep the last job's values until the new job reports its own.
  void Start();
  // The job has ended: hides the dialog and stops the clock.
  void Stop();

  // Range 0..maximum; a position outside it shows the nearer end.
  void SetTrackProgress(int position, int maximum);
  void SetTotalProgress(int position, int maximum);
  // The file being written, shortened in the middle when it does not fit; whole in the tool tip.
  void SetName(const QString& path);

  // One second of the job has passed; the clock calls this once a second.
  void Tick();

 public slots:
  // Escape asks whether to stop the rip instead of hiding the window.
  void reject() override;

 protected:
  // So does the close box; the window stays while the rip runs.
  void closeEvent(QCloseEvent* event) override;

 private:
  class PathLabel;

  QWidget* MakeTotalGroup();
  QWidget* MakeTrackGroup();
  // Pauses the job while the user decides, cancels it on Yes, and lets it go on either way.
  void AskStop();

  IFrameMessenger& m_frame;
  QProgressBar* m_totalBar = nullptr;
  QLabel* m_timeLabel = nullptr;
  PathLabel* m_nameLabel = nullptr;
  QProgressBar* m_trackBar = nullptr;
  QTimer* m_clock = nullptr;
  int m_elapsedSeconds = 0;
  bool m_asking = false;
};

}  // namespace korvi
