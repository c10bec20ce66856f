#include "ui/toolbar_ex.h"

#include <QAction>
#include <QCursor>
#include <QDir>
#include <QHelpEvent>
#include <QImageReader>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <utility>

// Q_INIT_RESOURCE names a function in the global namespace, so it cannot be called from inside korvi.
// Calling it is also what keeps the resources' object file from being dropped out of the static library.
static void InitToolbarBitmapResources() { Q_INIT_RESOURCE(korvi_toolbar_bitmaps); }

namespace korvi {
namespace {

// Registers the built-in pictures and puts their folder first on the search path, once per process.
void EnsureBuiltInBitmaps() {
  static const bool registered = [] {
    InitToolbarBitmapResources();
    QStringList paths = QDir::searchPaths(QString::fromLatin1(kBitmapSearchPrefix));
    paths.prepend(QStringLiteral(":/korvi/bitmaps"));
    QDir::setSearchPaths(QString::fromLatin1(kBitmapSearchPrefix), paths);
    return true;
  }();
  Q_UNUSED(registered);
}

}  // namespace

QPixmap LoadBitmapResource(int id, int scale) {
  EnsureBuiltInBitmaps();
  const QString suffix = scale == 1 ? QString() : QStringLiteral("@%1x").arg(scale);
  // Named in full rather than left to QImageReader's own @2x lookup, which search-path names do not get.
  QImageReader reader(
      QStringLiteral("%1:%2%3.png").arg(QString::fromLatin1(kBitmapSearchPrefix)).arg(id).arg(suffix));
  QPixmap picture = QPixmap::fromImage(reader.read());
  picture.setDevicePixelRatio(scale);
  return picture;
}

CToolBarEx::CToolBarEx(QWidget* parent) : QWidget(parent) {
  setMouseTracking(true);  // the hot face follows the pointer without a button held
  setAttribute(Qt::WA_OpaquePaintEvent);
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void CToolBarEx::SetButtons(const QList<QAction*>& actions) {
  for (const QPointer<QAction>& old : std::as_const(m_actions)) {
    if (old) disconnect(old, nullptr, this, nullptr);
  }
  m_actions.clear();
  for (QAction* action : actions) {
    m_actions.append(action);
    if (!action) continue;
    // Enabling or disabling a command changes its face.
    connect(action, &QAction::changed, this, qOverload<>(&QWidget::update));
    connect(action, &QObject::destroyed, this, qOverload<>(&QWidget::update));
  }
  m_pressedIndex = -1;
  updateGeometry();
  update();
}

int CToolBarEx::ButtonCount() const { return int(m_actions.size()); }

bool CToolBarEx::Load(Picture& picture, int id, int defaultId) {
  const int wanted = id == 0 ? defaultId : id;
  picture.plain = LoadBitmapResource(wanted);
  // The large one only goes with its own plain picture; alone it would outlive a failed load.
  picture.dense = picture.plain.isNull() ? QPixmap() : LoadBitmapResource(wanted, 2);
  update();
  return !picture.plain.isNull();
}

bool CToolBarEx::SetBackgroundBitmap(int id) { return Load(m_background, id, kToolbarBackgroundBitmap); }
bool CToolBarEx::SetNormalBitmap(int id) { return Load(m_normal, id, kToolbarNormalBitmap); }
bool CToolBarEx::SetHotBitmap(int id) { return Load(m_hot, id, kToolbarHotBitmap); }
bool CToolBarEx::SetDisabledBitmap(int id) { return Load(m_disabled, id, kToolbarDisabledBitmap); }
bool CToolBarEx::SetPressedBitmap(int id) { return Load(m_pressed, id, kToolbarPressedBitmap); }

int CToolBarEx::ButtonAt(const QPoint& pos) {
  if (pos.x() < 0 || pos.y() < 0 || pos.y() > kBarHeight) return -1;
  const int index = pos.x() / kButtonPitch;
  return pos.x() - index * kButtonPitch <= kFaceWidth ? index : -1;
}

QString CToolBarEx::ToolTipAt(const QPoint& pos) const {
  const int index = ButtonAt(pos);
  if (index < 0 || index >= ButtonCount() || !m_actions[index]) return {};
  return m_actions[index]->toolTip();
}

void CToolBarEx::SetPointerPos(std::optional<QPoint> pos) {
  m_pointerKnown = true;
  m_pointer = pos;
  update();
}

QSize CToolBarEx::sizeHint() const { return QSize(kButtonPitch * ButtonCount(), kBarHeight); }

bool CToolBarEx::IsButtonEnabled(int index) const {
  return index >= 0 && index < ButtonCount() && m_actions[index] && m_actions[index]->isEnabled();
}

std::optional<QPoint> CToolBarEx::PointerPos() const {
  if (m_pointerKnown) return m_pointer;
  return mapFromGlobal(QCursor::pos());
}

CToolBarEx::Face CToolBarEx::FaceOf(int index, const std::optional<QPoint>& pointer) const {
  if (!IsButtonEnabled(index)) return Face::kDisabled;
  if (!pointer || ButtonAt(*pointer) != index) return Face::kNormal;
  return m_pressedIndex == index ? Face::kPressed : Face::kHot;
}

const QPixmap& CToolBarEx::ForScreen(const Picture& picture) const {
  // Halfway between the two sizes: a 1.25 screen scales the plain picture up a little rather than the
  // large one down a lot.
  return devicePixelRatioF() > 1.5 && !picture.dense.isNull() ? picture.dense : picture.plain;
}

const QPixmap& CToolBarEx::Strip(Face face) const {
  switch (face) {
    case Face::kHot:
      return ForScreen(m_hot);
    case Face::kPressed:
      return ForScreen(m_pressed);
    case Face::kDisabled:
      return ForScreen(m_disabled);
    case Face::kNormal:
      break;
  }
  return ForScreen(m_normal);
}

namespace {

// Copies the logical rectangle `source` of the picture to the logical rectangle of the same size at
// `target`; on a large picture that is the corresponding rectangle of device pixels, copied one to one.
void CopyLogical(QPainter& painter, QPoint target, const QPixmap& picture, const QRect& source) {
  const qreal ratio = picture.devicePixelRatio();
  const QRectF pixels(source.x() * ratio, source.y() * ratio, source.width() * ratio,
                      source.height() * ratio);
  painter.drawPixmap(QRectF(target, source.size()), picture, pixels);
}

QRect LogicalRect(const QPixmap& picture) {
  return QRect(QPoint(0, 0), picture.deviceIndependentSize().toSize());
}

}  // namespace

void CToolBarEx::PaintBackground(QPainter& painter) const {
  const QPixmap& background = ForScreen(m_background);
  if (background.isNull()) return;
  const QRect tile = QRect(0, 0, kTileWidth, kBarHeight).intersected(LogicalRect(background));
  const int tiles = width() / kTileWidth + 1;
  for (int k = 0; k < tiles; ++k) CopyLogical(painter, QPoint(k * kTileWidth, 0), background, tile);
}

void CToolBarEx::PaintButtons(QPainter& painter) const {
  const std::optional<QPoint> pointer = PointerPos();
  for (int i = 0; i < ButtonCount(); ++i) {
    const QPixmap& strip = Strip(FaceOf(i, pointer));
    // A strip with fewer faces than buttons leaves the extra buttons blank.
    const QRect face = QRect(i * kFaceWidth, 0, kFaceWidth, kBarHeight).intersected(LogicalRect(strip));
    if (face.isEmpty()) continue;
    CopyLogical(painter, QPoint(i * kButtonPitch, 0), strip, face);
  }
}

void CToolBarEx::paintEvent(QPaintEvent*) {
  // Composed off screen and put up in one piece, so the bar never shows half-drawn.
  const qreal ratio = devicePixelRatioF();
  QPixmap buffer(size() * ratio);
  if (buffer.isNull()) return;
  buffer.setDevicePixelRatio(ratio);
  buffer.fill(palette().color(QPalette::Window));
  {
    QPainter painter(&buffer);
    PaintBackground(painter);
    PaintButtons(painter);
  }
  QPainter(this).drawPixmap(0, 0, buffer);
}

void CToolBarEx::mouseMoveEvent(QMouseEvent* event) {
  SetPointerPos(event->position().toPoint());
  QWidget::mouseMoveEvent(event);
}

void CToolBarEx::mousePressEvent(QMouseEvent* event) {
  const QPoint pos = event->position().toPoint();
  SetPointerPos(pos);
  const int index = ButtonAt(pos);
  if (event->button() != Qt::LeftButton || !IsButtonEnabled(index)) {
    QWidget::mousePressEvent(event);
    return;
  }
  m_pressedIndex = index;
  event->accept();
}

void CToolBarEx::mouseReleaseEvent(QMouseEvent* event) {
  const QPoint pos = event->position().toPoint();
  SetPointerPos(pos);
  if (event->button() != Qt::LeftButton || m_pressedIndex < 0) {
    QWidget::mouseReleaseEvent(event);
    return;
  }
  const int index = std::exchange(m_pressedIndex, -1);
  event->accept();
  // Like a push button: only a release over the button that went down counts, and only if its command
  // is still available. The action may open a dialog, so nothing of the bar is touched after it.
  if (ButtonAt(pos) == index && IsButtonEnabled(index)) m_actions[index]->trigger();
}

void CToolBarEx::enterEvent(QEnterEvent* event) {
  SetPointerPos(event->position().toPoint());
  QWidget::enterEvent(event);
}

void CToolBarEx::leaveEvent(QEvent* event) {
  // Without this the last button under the pointer would stay hot after the pointer left the bar.
  SetPointerPos(std::nullopt);
  QWidget::leaveEvent(event);
}

bool CToolBarEx::event(QEvent* event) {
  if (event->type() == QEvent::ToolTip) {
    ShowToolTip(static_cast<QHelpEvent*>(event));
    return true;
  }
  return QWidget::event(event);
}

void CToolBarEx::ShowToolTip(QHelpEvent* event) {
  const QString tip = ToolTipAt(event->pos());
  if (tip.isEmpty()) {
    QToolTip::hideText();
    event->ignore();
    return;
  }
  const int index = ButtonAt(event->pos());
  // The tip stays up while the pointer stays within this button's hit area.
  const QRect area(index * kButtonPitch, 0, kFaceWidth + 1, kBarHeight + 1);
  QToolTip::showText(event->globalPos(), tip, this, area);
}

}  // namespace korvi
