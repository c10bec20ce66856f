// The toolbar drawn on the offscreen platform and compared pixel by pixel with its pictures.

#include "ui/toolbar_ex.h"

#include <QAction>
#include <QDir>
#include <QHelpEvent>
#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>

namespace korvi {
namespace {

constexpr int kButtons = 9;
constexpr int kPitch = CToolBarEx::kButtonPitch;
constexpr int kFace = CToolBarEx::kFaceWidth;
constexpr int kHeight = CToolBarEx::kBarHeight;
constexpr int kUnknownId = 987654;
// A background of the test's own, told apart column by column.
constexpr int kStripedTileId = 9143;

QImage Picture(int id) { return LoadBitmapResource(id).toImage().convertToFormat(QImage::Format_RGB32); }

QImage Shot(CToolBarEx& bar) { return bar.grab().toImage().convertToFormat(QImage::Format_RGB32); }

QPoint Over(int index, int dx = 10, int dy = 20) { return QPoint(index * kPitch + dx, dy); }

// Where the bar's button differs from its face in the strip, as text; empty when they agree.
QString FaceMismatch(const QImage& shot, int index, const QImage& strip) {
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kFace; ++x) {
      if (shot.pixel(index * kPitch + x, y) != strip.pixel(index * kFace + x, y))
        return QStringLiteral("button %1 differs at (%2, %3)").arg(index).arg(x).arg(y);
    }
  }
  return {};
}

#define VERIFY_FACE(shot, index, strip)                        \
  do {                                                         \
    const QString mismatch = FaceMismatch(shot, index, strip); \
    QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));        \
  } while (false)

// Where the shot differs from the background tile repeated from x = 0 over columns [from, to).
QString TileMismatch(const QImage& shot, const QImage& tile, int from, int to) {
  for (int x = from; x < to; ++x) {
    for (int y = 0; y < kHeight; ++y) {
      if (shot.pixel(x, y) != tile.pixel(x % tile.width(), y))
        return QStringLiteral("column %1 differs at y = %2").arg(x).arg(y);
    }
  }
  return {};
}

// A bar with nine commands and the built-in pictures, the pointer away from it.
struct Fixture {
  QObject owner;
  QList<QAction*> actions;
  CToolBarEx bar;

  explicit Fixture(int count = kButtons) {
    for (int i = 0; i < count; ++i) {
      auto* action = new QAction(QStringLiteral("Command %1").arg(i + 1), &owner);
      action->setToolTip(QStringLiteral("Tip of command %1").arg(i + 1));
      actions << action;
    }
    bar.SetButtons(actions);
    bar.SetBackgroundBitmap();
    bar.SetNormalBitmap();
    bar.SetHotBitmap();
    bar.SetDisabledBitmap();
    bar.SetPressedBitmap();
    bar.resize(bar.sizeHint().width(), kHeight);
    bar.SetPointerPos(std::nullopt);
  }
  void Show() {
    bar.show();
    QVERIFY(QTest::qWaitForWindowExposed(&bar));
    bar.SetPointerPos(std::nullopt);  // whatever the platform's cursor entered with
  }
};

}  // namespace

class ToolBarExTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir m_extraPictures;
  QImage m_normal, m_hot, m_pressed, m_disabled, m_background;

 private slots:
  void initTestCase() {
    m_normal = Picture(kToolbarNormalBitmap);
    m_hot = Picture(kToolbarHotBitmap);
    m_pressed = Picture(kToolbarPressedBitmap);
    m_disabled = Picture(kToolbarDisabledBitmap);
    m_background = Picture(kToolbarBackgroundBitmap);

    QVERIFY(m_extraPictures.isValid());
    QImage striped(CToolBarEx::kTileWidth, kHeight, QImage::Format_RGB32);
    for (int x = 0; x < striped.width(); ++x)
      for (int y = 0; y < kHeight; ++y) striped.setPixel(x, y, qRgb(x * 10, 255 - y * 5, (x * 37 + y) % 256));
    QVERIFY(striped.save(m_extraPictures.filePath(QStringLiteral("%1.png").arg(kStripedTileId))));
    QDir::addSearchPath(QString::fromLatin1(kBitmapSearchPrefix), m_extraPictures.path());
  }

  void builtInPicturesHaveTheirSizesAndDistinctFaces() {
    QCOMPARE(m_background.size(), QSize(24, 40));
    const QList<const QImage*> strips{&m_normal, &m_hot, &m_pressed, &m_disabled};
    for (const QImage* strip : strips) QCOMPARE(strip->size(), QSize(333, 40));
    // Every face must tell its state apart, or the checks below could not see which one was drawn.
    for (int i = 0; i < kButtons; ++i) {
      for (qsizetype a = 0; a < strips.size(); ++a) {
        for (qsizetype b = a + 1; b < strips.size(); ++b) {
          const QRect face(i * kFace, 0, kFace, kHeight);
          QVERIFY2(strips[a]->copy(face) != strips[b]->copy(face), qPrintable(QString::number(i)));
        }
      }
    }
    // The nine icons are nine different pictures.
    for (int i = 1; i < kButtons; ++i)
      QVERIFY(m_normal.copy(i * kFace, 0, kFace, kHeight) != m_normal.copy(0, 0, kFace, kHeight));

    CToolBarEx bar;
    QVERIFY(bar.SetBackgroundBitmap(0));
    QVERIFY(bar.SetNormalBitmap(0));
    QVERIFY(bar.SetHotBitmap(0));
    QVERIFY(bar.SetDisabledBitmap(0));
    QVERIFY(bar.SetPressedBitmap(0));
    QVERIFY(bar.SetNormalBitmap(kToolbarHotBitmap));  // any id, not only its own
  }

  void hotFaceFollowsThePointer() {
    Fixture f;
    QImage shot = Shot(f.bar);
    for (int i = 0; i < kButtons; ++i) VERIFY_FACE(shot, i, m_normal);

    for (int hot : {0, 4, 8}) {
      f.bar.SetPointerPos(Over(hot));
      shot = Shot(f.bar);
      for (int i = 0; i < kButtons; ++i) VERIFY_FACE(shot, i, i == hot ? m_hot : m_normal);
    }
  }

  void disabledFaceWinsEvenUnderThePointer() {
    Fixture f;
    f.actions[2]->setEnabled(false);
    f.actions[6]->setEnabled(false);
    f.bar.SetPointerPos(Over(2));
    const QImage shot = Shot(f.bar);
    VERIFY_FACE(shot, 2, m_disabled);
    VERIFY_FACE(shot, 6, m_disabled);
    VERIFY_FACE(shot, 3, m_normal);
  }

  void hitAreaEndsOnePixelPastTheFace_data() {
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("dx");
    QTest::addColumn<int>("dy");
    QTest::addColumn<bool>("hot");
    for (int i : {0, 3, 8}) {
      const QByteArray b = QByteArray::number(i);
      QTest::newRow("left edge " + b) << i << 0 << 0 << true;
      QTest::newRow("x 37 " + b) << i << 37 << 39 << true;
      QTest::newRow("x 38 " + b) << i << 38 << 20 << false;
      QTest::newRow("x 41 " + b) << i << 41 << 20 << false;
    }
  }
  void hitAreaEndsOnePixelPastTheFace() {
    QFETCH(int, index);
    QFETCH(int, dx);
    QFETCH(int, dy);
    QFETCH(bool, hot);
    Fixture f;
    f.bar.SetPointerPos(Over(index, dx, dy));
    const QImage shot = Shot(f.bar);
    for (int i = 0; i < kButtons; ++i) VERIFY_FACE(shot, i, hot && i == index ? m_hot : m_normal);
  }

  void gapsShowTheBackgroundOnly() {
    Fixture f;
    QVERIFY(f.bar.SetBackgroundBitmap(kStripedTileId));
    const QImage tile = Picture(kStripedTileId);
    f.bar.SetPointerPos(Over(3, 39));
    const QImage shot = Shot(f.bar);
    for (int i = 0; i + 1 < kButtons; ++i) {
      const QString mismatch = TileMismatch(shot, tile, i * kPitch + kFace, (i + 1) * kPitch);
      QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
    }
  }

  void backgroundIsTiledAcrossTheWholeWidth() {
    Fixture f(0);
    QVERIFY(f.bar.SetBackgroundBitmap(kStripedTileId));
    const QImage tile = Picture(kStripedTileId);
    for (int width : {100, 96, 23}) {
      f.bar.resize(width, kHeight);
      const QImage shot = Shot(f.bar);
      QCOMPARE(shot.width(), width);
      // 100 pixels take five tiles, the last one cut off after four columns.
      const QString mismatch = TileMismatch(shot, tile, 0, width);
      QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
    }
  }

  void pressedFaceWhileTheLeftButtonIsHeld() {
    Fixture f;
    f.Show();
    QTest::mousePress(&f.bar, Qt::LeftButton, {}, Over(5));
    QImage shot = Shot(f.bar);
    VERIFY_FACE(shot, 5, m_pressed);
    VERIFY_FACE(shot, 4, m_normal);

    // Dragged off the pressed button it pops back up; the button now under the pointer is only hot.
    QTest::mouseMove(&f.bar, Over(6));
    shot = Shot(f.bar);
    VERIFY_FACE(shot, 5, m_normal);
    VERIFY_FACE(shot, 6, m_hot);

    QTest::mouseRelease(&f.bar, Qt::LeftButton, {}, Over(6));
    shot = Shot(f.bar);
    VERIFY_FACE(shot, 6, m_hot);
  }

  void pointerEventsMoveTheHotFace() {
    Fixture f;
    f.Show();
    QMouseEvent move(QEvent::MouseMove, Over(7), f.bar.mapToGlobal(Over(7)), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(&f.bar, &move);
    VERIFY_FACE(Shot(f.bar), 7, m_hot);

    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&f.bar, &leave);
    VERIFY_FACE(Shot(f.bar), 7, m_normal);

    QEnterEvent enter(Over(1), f.bar.mapTo(f.bar.window(), Over(1)), f.bar.mapToGlobal(Over(1)));
    QApplication::sendEvent(&f.bar, &enter);
    VERIFY_FACE(Shot(f.bar), 1, m_hot);
  }

  void unknownIdLoadsNothingAndDrawsNothing_data() {
    QTest::addColumn<int>("which");
    QTest::newRow("normal") << 0;
    QTest::newRow("hot") << 1;
    QTest::newRow("pressed") << 2;
    QTest::newRow("disabled") << 3;
  }
  void unknownIdLoadsNothingAndDrawsNothing() {
    QFETCH(int, which);
    using Setter = bool (CToolBarEx::*)(int);
    const Setter setters[] = {&CToolBarEx::SetNormalBitmap, &CToolBarEx::SetHotBitmap,
                              &CToolBarEx::SetPressedBitmap, &CToolBarEx::SetDisabledBitmap};
    const QImage* strips[] = {&m_normal, &m_hot, &m_pressed, &m_disabled};
    constexpr int kButton = 2;

    Fixture f;
    f.Show();
    const auto showState = [&] {
      if (which == 1) f.bar.SetPointerPos(Over(kButton));
      if (which == 2) QTest::mousePress(&f.bar, Qt::LeftButton, {}, Over(kButton));
      if (which == 3) f.actions[kButton]->setEnabled(false);
    };
    showState();
    VERIFY_FACE(Shot(f.bar), kButton, *strips[which]);

    QVERIFY(!(f.bar.*setters[which])(kUnknownId));
    const QImage shot = Shot(f.bar);
    const QString mismatch = TileMismatch(shot, m_background, kButton * kPitch, kButton * kPitch + kFace);
    QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
    // The other pictures still draw.
    if (which == 3) {
      VERIFY_FACE(shot, kButton + 1, m_normal);
    } else {
      f.actions[kButton + 4]->setEnabled(false);
      VERIFY_FACE(Shot(f.bar), kButton + 4, m_disabled);
    }
    if (which == 2) QTest::mouseRelease(&f.bar, Qt::LeftButton, {}, Over(kButton));
  }

  void unknownBackgroundLeavesTheWindowColour() {
    Fixture f(0);
    QVERIFY(!f.bar.SetBackgroundBitmap(kUnknownId));
    f.bar.resize(60, kHeight);
    const QImage shot = Shot(f.bar);
    const QRgb window = f.bar.palette().color(QPalette::Window).rgb();
    for (int x = 0; x < shot.width(); ++x)
      for (int y = 0; y < kHeight; ++y) QCOMPARE(shot.pixel(x, y), window);
  }

  void clickTriggersOnlyEnabledButtons() {
    Fixture f;
    f.Show();
    f.actions[3]->setEnabled(false);
    QSignalSpy first(f.actions[0], &QAction::triggered);
    QSignalSpy last(f.actions[8], &QAction::triggered);
    QSignalSpy disabled(f.actions[3], &QAction::triggered);
    QSignalSpy neighbour(f.actions[4], &QAction::triggered);

    QTest::mouseClick(&f.bar, Qt::LeftButton, {}, Over(0, 37, 5));
    QTest::mouseClick(&f.bar, Qt::LeftButton, {}, Over(8));
    QTest::mouseClick(&f.bar, Qt::LeftButton, {}, Over(3));
    QTest::mouseClick(&f.bar, Qt::RightButton, {}, Over(4));
    QTest::mouseClick(&f.bar, Qt::LeftButton, {}, Over(3, 40));  // the gap after button 3
    QCOMPARE(first.count(), 1);
    QCOMPARE(last.count(), 1);
    QCOMPARE(disabled.count(), 0);
    QCOMPARE(neighbour.count(), 0);

    // Released over another button, or disabled in the meantime: nothing happens.
    QTest::mousePress(&f.bar, Qt::LeftButton, {}, Over(0));
    QTest::mouseRelease(&f.bar, Qt::LeftButton, {}, Over(1));
    QTest::mousePress(&f.bar, Qt::LeftButton, {}, Over(8));
    f.actions[8]->setEnabled(false);
    QTest::mouseRelease(&f.bar, Qt::LeftButton, {}, Over(8));
    QCOMPARE(first.count(), 1);
    QCOMPARE(last.count(), 1);
  }

  void toolTipsAreTheActionsTips() {
    Fixture f;
    f.Show();
    f.actions[4]->setEnabled(false);
    for (int i : {0, 4, 8}) {
      QCOMPARE(f.bar.ToolTipAt(Over(i, 37)), f.actions[i]->toolTip());
      QHelpEvent help(QEvent::ToolTip, Over(i), f.bar.mapToGlobal(Over(i)));
      QApplication::sendEvent(&f.bar, &help);
      QCOMPARE(QToolTip::text(), f.actions[i]->toolTip());
    }
    QVERIFY(QToolTip::isVisible());
    QCOMPARE(f.bar.ToolTipAt(Over(1, 38)), QString());
    QCOMPARE(f.bar.ToolTipAt(Over(kButtons)), QString());
    QHelpEvent gap(QEvent::ToolTip, Over(1, 40), f.bar.mapToGlobal(Over(1, 40)));
    QApplication::sendEvent(&f.bar, &gap);
    QTRY_VERIFY(!QToolTip::isVisible());
  }

  void buttonAtEdges_data() {
    QTest::addColumn<QPoint>("pos");
    QTest::addColumn<int>("index");
    QTest::newRow("origin") << QPoint(0, 0) << 0;
    QTest::newRow("last column of the first") << QPoint(37, 40) << 0;
    QTest::newRow("gap start") << QPoint(38, 0) << -1;
    QTest::newRow("gap end") << QPoint(41, 40) << -1;
    QTest::newRow("second") << QPoint(42, 0) << 1;
    QTest::newRow("ninth, far corner") << QPoint(8 * 42 + 37, 40) << 8;
    QTest::newRow("below") << QPoint(0, 41) << -1;
    QTest::newRow("above") << QPoint(5, -1) << -1;
    QTest::newRow("left") << QPoint(-1, 5) << -1;
    QTest::newRow("past the ninth") << QPoint(9 * 42, 0) << 9;
  }
  void buttonAtEdges() {
    QFETCH(QPoint, pos);
    QFETCH(int, index);
    QCOMPARE(CToolBarEx::ButtonAt(pos), index);
  }

  void sizeFollowsTheButtons() {
    Fixture f;
    QCOMPARE(f.bar.ButtonCount(), kButtons);
    QCOMPARE(f.bar.sizeHint(), QSize(378, 40));
    f.bar.SetButtons(f.actions.mid(0, 2));
    QCOMPARE(f.bar.ButtonCount(), 2);
    QCOMPARE(f.bar.sizeHint(), QSize(84, 40));
  }
};

}  // namespace korvi

QTEST_MAIN(korvi::ToolBarExTest)
#include "toolbar_ex_test.moc"
