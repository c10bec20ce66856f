// The toolbar on a screen with two device pixels to a logical one: it paints its faces from the pictures
// drawn at twice the size, at the places it uses at 1x, and a click still means the same button.

#include <QAction>
#include <QApplication>
#include <QImage>
#include <QSignalSpy>
#include <QTest>

#include "ui/toolbar_ex.h"

namespace korvi {
namespace {

constexpr int kButtons = 9;
constexpr int kPitch = CToolBarEx::kButtonPitch;
constexpr int kFace = CToolBarEx::kFaceWidth;
constexpr int kHeight = CToolBarEx::kBarHeight;
constexpr int kScale = 2;

QImage Rgb(const QPixmap& pixmap) { return pixmap.toImage().convertToFormat(QImage::Format_RGB32); }

// Where the shot's device pixels of button `index` differ from that face in the large strip; empty
// when they agree.
QString FaceMismatch(const QImage& shot, int index, const QImage& strip) {
  for (int y = 0; y < kHeight * kScale; ++y) {
    for (int x = 0; x < kFace * kScale; ++x) {
      if (shot.pixel(index * kPitch * kScale + x, y) != strip.pixel(index * kFace * kScale + x, y))
        return QStringLiteral("button %1 differs at device pixel (%2, %3)").arg(index).arg(x).arg(y);
    }
  }
  return {};
}

struct Bar {
  QObject owner;
  QList<QAction*> actions;
  CToolBarEx bar;

  Bar() {
    for (int i = 0; i < kButtons; ++i)
      actions << new QAction(QStringLiteral("Command %1").arg(i + 1), &owner);
    bar.SetButtons(actions);
    bar.SetBackgroundBitmap();
    bar.SetNormalBitmap();
    bar.SetHotBitmap();
    bar.SetDisabledBitmap();
    bar.SetPressedBitmap();
    bar.resize(bar.sizeHint().width(), kHeight);
  }
  bool Show() {
    bar.show();
    const bool exposed = QTest::qWaitForWindowExposed(&bar);
    bar.SetPointerPos(std::nullopt);  // whatever the platform's cursor entered with
    return exposed;
  }
};

}  // namespace

class ToolBarHiDpiTest : public QObject {
  Q_OBJECT

 private slots:
  void largePicturesAreRealDetailNotEnlargements() {
    for (int id : {kToolbarBackgroundBitmap, kToolbarDisabledBitmap, kToolbarHotBitmap, kToolbarNormalBitmap,
                   kToolbarPressedBitmap}) {
      const QPixmap plain = LoadBitmapResource(id);
      const QPixmap large = LoadBitmapResource(id, kScale);
      QVERIFY(!plain.isNull());
      QCOMPARE(large.devicePixelRatio(), qreal(kScale));
      QCOMPARE(large.size(), plain.size() * kScale);
      QCOMPARE(large.deviceIndependentSize(), QSizeF(plain.size()));
    }
    // The icons are painted anew at the large size, not copied pixel by pixel from the small one.
    const QImage normal = Rgb(LoadBitmapResource(kToolbarNormalBitmap));
    const QImage large = Rgb(LoadBitmapResource(kToolbarNormalBitmap, kScale));
    QVERIFY(large != normal.scaled(normal.size() * kScale));
  }

  void facesComeFromTheLargeStripsAtTheirLogicalPlaces() {
    Bar b;
    QVERIFY(b.Show());
    QCOMPARE(b.bar.devicePixelRatioF(), qreal(kScale));
    b.actions[4]->setEnabled(false);

    const QPixmap grabbed = b.bar.grab();
    QCOMPARE(grabbed.devicePixelRatio(), qreal(kScale));
    const QImage shot = Rgb(grabbed);
    QCOMPARE(shot.size(), QSize(kButtons * kPitch, kHeight) * kScale);

    const QImage normal = Rgb(LoadBitmapResource(kToolbarNormalBitmap, kScale));
    const QImage disabled = Rgb(LoadBitmapResource(kToolbarDisabledBitmap, kScale));
    for (int i = 0; i < kButtons; ++i) {
      const QString mismatch = FaceMismatch(shot, i, i == 4 ? disabled : normal);
      QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
    }
    // The gap between two faces is the large background tile.
    const QImage tile = Rgb(LoadBitmapResource(kToolbarBackgroundBitmap, kScale));
    for (int x = kFace * kScale; x < kPitch * kScale; ++x) {
      for (int y = 0; y < kHeight * kScale; ++y) QCOMPARE(shot.pixel(x, y), tile.pixel(x % tile.width(), y));
    }
  }

  void clickAtALogicalCentreTriggersThatButton() {
    Bar b;
    QVERIFY(b.Show());
    for (int n = 0; n < kButtons; ++n) {
      QList<QSignalSpy*> spies;
      for (QAction* action : b.actions) spies << new QSignalSpy(action, &QAction::triggered);
      QTest::mouseClick(&b.bar, Qt::LeftButton, {}, QPoint(n * kPitch + kFace / 2, kHeight / 2));
      for (int i = 0; i < kButtons; ++i) QCOMPARE(spies[i]->count(), i == n ? 1 : 0);
      qDeleteAll(spies);
    }
  }
};

}  // namespace korvi

int main(int argc, char** argv) {
  // Before the application exists, as the platform reads it once at start.
  qputenv("QT_SCALE_FACTOR", QByteArray::number(korvi::kScale));
  QApplication app(argc, argv);
  korvi::ToolBarHiDpiTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "toolbar_hidpi_test.moc"
