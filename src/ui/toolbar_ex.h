#pragma once
// The main window's toolbar. It behaves like a plain toolbar (buttons bound to actions, tool tips, faces
// that follow the actions' enabled state) but its whole face is copied from five pictures: a background
// tile and four strips holding every button's normal, hot, pressed and disabled face.

#include <QList>
#include <QPixmap>
#include <QPointer>
#include <QWidget>
#include <optional>

class QAction;
class QHelpEvent;

namespace korvi {

// Resource ids of the toolbar's pictures; the setters' id 0 stands for these.
enum ToolbarBitmapId : int {
  kToolbarBackgroundBitmap = 143,
  kToolbarDisabledBitmap = 144,
  kToolbarHotBitmap = 145,
  kToolbarNormalBitmap = 146,
  kToolbarPressedBitmap = 147,
};

// Pictures are found by id as "<id>.png" through this QDir search-path prefix. It starts out holding the
// built-in pictures; QDir::addSearchPath adds folders of further ones.
inline constexpr char kBitmapSearchPrefix[] = "korvibitmaps";

// The picture with this resource id; a null pixmap when there is none. Scale 2 asks for the same picture
// painted at twice the size ("<id>@2x.png"), which comes with a device pixel ratio of 2.
QPixmap LoadBitmapResource(int id, int scale = 1);

class CToolBarEx : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kButtonPitch = 42;  // from one button's left edge to the next one's
  static constexpr int kFaceWidth = 37;    // one face in a strip
  static constexpr int kBarHeight = 40;
  static constexpr int kTileWidth = 24;  // the background picture

  explicit CToolBarEx(QWidget* parent = nullptr);

  // Buttons in order; each is bound to a QAction: clicking an enabled button triggers the action; a
  // disabled action's button is drawn disabled and does nothing; tool tip = the action's toolTip().
  void SetButtons(const QList<QAction*>& actions);
  int ButtonCount() const;

  // Each replaces its picture with the one loaded by id (0: the default id) and says whether there was
  // one; after a failed load nothing is drawn from that picture.
  bool SetBackgroundBitmap(int id = 0);
  bool SetNormalBitmap(int id = 0);
  bool SetHotBitmap(int id = 0);
  bool SetDisabledBitmap(int id = 0);
  bool SetPressedBitmap(int id = 0);

  // The index of the button whose hit area holds the point, or -1; the area of button i is
  // 42*i <= x <= 42*i + 37, 0 <= y <= 40, ends included. The index is not checked against the count.
  static int ButtonAt(const QPoint& pos);
  // The tip for the point: the action's tool tip of the button there, else empty.
  QString ToolTipAt(const QPoint& pos) const;

  // Where the pointer is, in bar coordinates, for choosing hot and pressed faces; nullopt means not over
  // the bar. Mouse, enter and leave events keep it up to date; before the first of them the system
  // cursor is asked. Setting it is for callers that move the pointer without events (tests).
  void SetPointerPos(std::optional<QPoint> pos);

  QSize sizeHint() const override;

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  enum class Face { kNormal, kHot, kPressed, kDisabled };

  // A picture at its own size and, when there is one, at twice the size for high-density screens.
  struct Picture {
    QPixmap plain;
    QPixmap dense;
  };

  bool IsButtonEnabled(int index) const;
  std::optional<QPoint> PointerPos() const;
  Face FaceOf(int index, const std::optional<QPoint>& pointer) const;
  const QPixmap& Strip(Face face) const;
  const QPixmap& ForScreen(const Picture& picture) const;
  void PaintBackground(QPainter& painter) const;
  void PaintButtons(QPainter& painter) const;
  void ShowToolTip(QHelpEvent* event);
  bool Load(Picture& picture, int id, int defaultId);

  QList<QPointer<QAction>> m_actions;
  Picture m_background;
  Picture m_normal;
  Picture m_hot;
  Picture m_disabled;
  Picture m_pressed;
  bool m_pointerKnown = false;      // false until an event or a caller told where the pointer is
  std::optional<QPoint> m_pointer;  // meaningful once m_pointerKnown
  int m_pressedIndex = -1;          // the button the left button went down on, while it is held
};

}  // namespace korvi
