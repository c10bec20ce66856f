#pragma once
// The main window's client area: the drive panel as a 50-pixel strip on top and the track list
// below it.

#include <QWidget>
#include <functional>

class QTreeWidget;

namespace korvi {

class CDriveControlPanel;
class IFrameMessenger;
class TrackListRows;

class CChildView : public QWidget {
  Q_OBJECT
 public:
  CChildView(IFrameMessenger& frame, QWidget* parent = nullptr);
  ~CChildView() override;

  // Lists the drives and reads the first one's table of contents.
  void Create();

  QTreeWidget* TrackList() const { return m_list; }
  TrackListRows& Rows() const { return *m_rows; }
  CDriveControlPanel* DrivePanel() const { return m_panel; }

  // Opens the edit dialog for the first selected row that has a record.
  void EditTrack();
  // Whether the edit dialog is open: nothing else should ask the user meanwhile.
  bool IsEditingTrack() const { return m_editing; }

  // Called when the selection or a check box changes, so the frame can re-evaluate its commands.
  std::function<void()> onRowsChanged;
  // Called when the edit dialog has closed and its values are in the record.
  std::function<void()> onTrackEdited;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QTreeWidget* m_list;
  CDriveControlPanel* m_panel;
  std::unique_ptr<TrackListRows> m_rows;
  bool m_editing = false;
};

}  // namespace korvi
