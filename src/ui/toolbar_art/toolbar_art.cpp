// Draws the toolbar's pictures: the background tile and the four strips of button faces (normal, hot,
// pressed, disabled), written as PNG files named by their resource ids, each once at its own size
// ("<id>.png") and once painted at twice the size for high-density screens ("<id>@2x.png"). Everything
// is painted from paths, without fonts, so the pictures come out the same on every build machine.
//
// Usage: korvi_toolbar_art OUT_DIR [--preview FILE]
// --preview also writes the strips enlarged three times on a window-coloured sheet, for looking at them.

#include <QColor>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QString>
#include <array>
#include <cmath>
#include <cstdio>

namespace {

// The geometry the toolbar widget expects: a 24 x 40 tile and nine 37 x 40 faces side by side.
constexpr int kTileWidth = 24;
constexpr int kFaceWidth = 37;
constexpr int kHeight = 40;
constexpr int kButtons = 9;
constexpr int kIconSize = 26;
// The icon's 26 x 26 box inside a face; whole pixels keep two-pixel strokes crisp.
constexpr int kIconLeft = 5;
constexpr int kIconTop = 7;

constexpr int kBackgroundId = 143;
constexpr int kDisabledId = 144;
constexpr int kHotId = 145;
constexpr int kNormalId = 146;
constexpr int kPressedId = 147;

const QColor kInk(0x37, 0x41, 0x4b);
const QColor kAccent(0x1a, 0x6f, 0xd6);
const QColor kPaper(0xff, 0xff, 0xff);
constexpr qreal kStroke = 2.0;

enum class State { kNormal, kHot, kPressed, kDisabled };

QColor Mix(const QColor& a, const QColor& b, qreal t) {
  return QColor::fromRgbF(a.redF() + (b.redF() - a.redF()) * t, a.greenF() + (b.greenF() - a.greenF()) * t,
                          a.blueF() + (b.blueF() - a.blueF()) * t);
}

// The bar's own colour for row y: a faint top-to-bottom shade closed by a hairline at the bottom.
QColor BackgroundRow(int y) {
  if (y == kHeight - 1) return QColor(0xd2, 0xd4, 0xd7);
  if (y == 0) return QColor(0xfc, 0xfc, 0xfd);
  return Mix(QColor(0xf8, 0xf8, 0xf9), QColor(0xea, 0xeb, 0xed), qreal(y) / (kHeight - 2));
}

// `scale` device pixels per logical one: each logical row becomes that many rows of its colour.
void FillBackground(QImage& image, int scale) {
  for (int y = 0; y < image.height(); ++y) {
    const QRgb rgb = BackgroundRow(y / scale).rgb();
    for (int x = 0; x < image.width(); ++x) image.setPixel(x, y, rgb);
  }
}

QPen InkPen(const QColor& color) { return QPen(color, kStroke, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin); }

// --- The nine icons, each in a 26 x 26 box with its origin at the top left. ---

// A disc: rim, a tinted face with a lighter clamping ring, and the hole.
void DrawDisc(QPainter& p, QPointF centre, qreal radius) {
  p.setPen(InkPen(kInk));
  p.setBrush(Mix(kPaper, kAccent, 0.16));
  p.drawEllipse(centre, radius, radius);
  p.setPen(Qt::NoPen);
  p.setBrush(kPaper);
  p.drawEllipse(centre, 5.0, 5.0);
  p.setPen(QPen(kInk, 1.5));
  p.drawEllipse(centre, 2.0, 2.0);
}

// A round accent badge at the bottom right, cut out of what lies below by a ring of paper.
void DrawBadge(QPainter& p, QPointF centre) {
  p.setPen(QPen(kPaper, 2.0));
  p.setBrush(kAccent);
  p.drawEllipse(centre, 6.5, 6.5);
}

void DrawRip(QPainter& p) {
  DrawDisc(p, {11, 11}, 10);
  const QPointF badge(19.5, 19.5);
  DrawBadge(p, badge);
  p.setPen(QPen(kPaper, 1.75, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(Qt::NoBrush);
  p.drawLine(QPointF(badge.x(), badge.y() - 3.5), QPointF(badge.x(), badge.y() + 3));
  p.drawPolyline(QPolygonF{QPointF(badge.x() - 3, badge.y()), QPointF(badge.x(), badge.y() + 3),
                           QPointF(badge.x() + 3, badge.y())});
}

void DrawInfo(QPainter& p) {
  DrawDisc(p, {11, 11}, 10);
  const QPointF badge(19.5, 19.5);
  DrawBadge(p, badge);
  p.setPen(Qt::NoPen);
  p.setBrush(kPaper);
  p.drawEllipse(QPointF(badge.x(), badge.y() - 3), 1.1, 1.1);
  p.drawRoundedRect(QRectF(badge.x() - 0.9, badge.y() - 1, 1.8, 5), 0.9, 0.9);
}

// Three rows of a check list; ticked rows get an accent box with a paper tick.
void DrawCheckList(QPainter& p, bool ticked) {
  for (int row = 0; row < 3; ++row) {
    const qreal top = 2 + row * 8.5;
    const QRectF box(2, top, 7, 7);
    if (ticked) {
      p.setPen(QPen(kAccent, 1.0));
      p.setBrush(kAccent);
      p.drawRoundedRect(box, 1.5, 1.5);
      p.setPen(QPen(kPaper, 1.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
      p.setBrush(Qt::NoBrush);
      p.drawPolyline(QPolygonF{QPointF(box.left() + 1.6, top + 3.6), QPointF(box.left() + 3, top + 5),
                               QPointF(box.left() + 5.5, top + 2)});
    } else {
      p.setPen(QPen(kInk, 1.5));
      p.setBrush(kPaper);
      p.drawRoundedRect(box.adjusted(0.25, 0.25, -0.25, -0.25), 1.5, 1.5);
    }
    p.setPen(InkPen(kInk));
    const qreal y = top + 3.5;
    p.drawLine(QPointF(13, y), QPointF(row == 1 ? 20 : 24, y));
  }
}

void DrawSelectAll(QPainter& p) { DrawCheckList(p, true); }
void DrawSelectNone(QPainter& p) { DrawCheckList(p, false); }

void DrawPlay(QPainter& p) {
  p.setPen(QPen(kAccent, 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(kAccent);
  p.drawPolygon(QPolygonF{QPointF(8, 5), QPointF(8, 21), QPointF(21, 13)});
}

void DrawStop(QPainter& p) {
  p.setPen(Qt::NoPen);
  p.setBrush(kInk);
  p.drawRoundedRect(QRectF(5, 5, 16, 16), 2.5, 2.5);
}

// Two arcs chasing each other round the centre, each ending in an arrow head.
void DrawRefresh(QPainter& p) {
  const QPointF c(13, 13);
  const qreal r = 8.5;
  const QRectF circle(c.x() - r, c.y() - r, 2 * r, 2 * r);
  p.setPen(InkPen(kInk));
  p.setBrush(Qt::NoBrush);
  for (int half = 0; half < 2; ++half) {
    const qreal start = 200 + 180 * half;  // degrees, counter-clockwise from three o'clock
    const qreal sweep = 125;
    p.drawArc(circle, int(start * 16), int(sweep * 16));
    const qreal end = (start + sweep) * M_PI / 180;
    const QPointF tip(c.x() + r * std::cos(end), c.y() - r * std::sin(end));
    // The head points along the arc's direction of travel (counter-clockwise).
    const QPointF along(-std::sin(end), -std::cos(end));
    const QPointF across(std::cos(end), -std::sin(end));
    QPolygonF head{tip + along * 4.0, tip + across * 3.5, tip - across * 3.5};
    p.setBrush(kInk);
    p.setPen(QPen(kInk, 1.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolygon(head);
    p.setPen(InkPen(kInk));
    p.setBrush(Qt::NoBrush);
  }
}

// A gear: eight rounded teeth around a ring, with an open hub.
void DrawSettings(QPainter& p) {
  const QPointF c(13, 13);
  constexpr int kTeeth = 8;
  constexpr qreal kOuter = 11, kInner = 8;
  QPainterPath gear;
  for (int t = 0; t < kTeeth; ++t) {
    const qreal mid = t * 2 * M_PI / kTeeth;
    const std::array<std::pair<qreal, qreal>, 4> corners{
        {{mid - 0.30, kInner}, {mid - 0.17, kOuter}, {mid + 0.17, kOuter}, {mid + 0.30, kInner}}};
    for (const auto& [angle, radius] : corners) {
      const QPointF point(c.x() + radius * std::cos(angle), c.y() + radius * std::sin(angle));
      if (gear.elementCount() == 0)
        gear.moveTo(point);
      else
        gear.lineTo(point);
    }
  }
  gear.closeSubpath();
  p.setPen(InkPen(kInk));
  p.setBrush(Mix(kPaper, kAccent, 0.10));
  p.drawPath(gear);
  p.setBrush(kPaper);
  p.drawEllipse(c, 3.5, 3.5);
}

void DrawHelp(QPainter& p) {
  const QPointF c(13, 13);
  p.setPen(InkPen(kInk));
  p.setBrush(Mix(kPaper, kAccent, 0.10));
  p.drawEllipse(c, 11, 11);
  // The question mark: a hook over the centre, then a dot.
  QPainterPath hook;
  hook.moveTo(9.5, 10.5);
  hook.arcTo(QRectF(9.5, 6.5, 7, 7), 180, -180);
  hook.cubicTo(QPointF(16.5, 12.5), QPointF(13, 13), QPointF(13, 15.5));
  p.setPen(QPen(kAccent, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(Qt::NoBrush);
  p.drawPath(hook);
  p.setPen(Qt::NoPen);
  p.setBrush(kAccent);
  p.drawEllipse(QPointF(13, 19), 1.4, 1.4);
}

using IconPainter = void (*)(QPainter&);
constexpr std::array<IconPainter, kButtons> kIcons{DrawRip,     DrawSelectAll, DrawSelectNone,
                                                   DrawInfo,    DrawPlay,      DrawStop,
                                                   DrawRefresh, DrawSettings,  DrawHelp};

// --- Faces ---

QImage IconLayer(int index, int scale) {
  QImage layer(kIconSize * scale, kIconSize * scale, QImage::Format_ARGB32_Premultiplied);
  layer.fill(Qt::transparent);
  QPainter p(&layer);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(scale, scale);  // the icons are drawn in logical units, so a larger scale gets real detail
  kIcons[index](p);
  return layer;
}

// Greys the icon by its lightness and lifts it most of the way towards white, keeping its coverage.
void Fade(QImage& layer) {
  layer.convertTo(QImage::Format_ARGB32);  // plain alpha, so colours can be changed pixel by pixel
  for (int y = 0; y < layer.height(); ++y) {
    for (int x = 0; x < layer.width(); ++x) {
      const QColor pixel = QColor::fromRgba(layer.pixel(x, y));
      if (pixel.alpha() == 0) continue;
      const int grey = qGray(pixel.rgb());
      const int lifted = grey + (255 - grey) * 60 / 100;
      layer.setPixel(x, y, QColor(lifted, lifted, lifted + 4 > 255 ? 255 : lifted + 4, pixel.alpha()).rgba());
    }
  }
}

// The rounded plate behind the icon of a hot or pressed face.
void DrawPlate(QPainter& p, int left, State state) {
  const bool pressed = state == State::kPressed;
  const QColor base = BackgroundRow(kHeight / 2);
  const QColor fill = pressed ? Mix(base, kAccent, 0.22) : Mix(base, kAccent, 0.09);
  const QColor edge = pressed ? Mix(base, kAccent, 0.50) : Mix(base, kAccent, 0.30);
  p.setPen(QPen(edge, 1.0));
  p.setBrush(fill);
  p.drawRoundedRect(QRectF(left + 1.5, 2.5, kFaceWidth - 3, kHeight - 5), 5, 5);
}

QImage Strip(State state, int scale) {
  QImage strip(kFaceWidth * kButtons * scale, kHeight * scale, QImage::Format_RGB32);
  FillBackground(strip, scale);
  QPainter p(&strip);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(scale, scale);
  for (int i = 0; i < kButtons; ++i) {
    const int left = i * kFaceWidth;
    if (state == State::kHot || state == State::kPressed) DrawPlate(p, left, state);
    QImage icon = IconLayer(i, scale);
    if (state == State::kDisabled) Fade(icon);
    icon.setDevicePixelRatio(scale);  // drawn at its logical size through the scaled painter
    const int shift = state == State::kPressed ? 1 : 0;
    p.drawImage(left + kIconLeft + shift, kIconTop + shift, icon);
  }
  return strip;
}

QImage Background(int scale) {
  QImage tile(kTileWidth * scale, kHeight * scale, QImage::Format_RGB32);
  FillBackground(tile, scale);
  return tile;
}

// The strips three times their size, one under another, on the window's colour.
QImage Preview(const std::array<QImage, 4>& strips) {
  constexpr int kScale = 3, kMargin = 8;
  const int width = strips[0].width() * kScale + 2 * kMargin;
  const int height = (kHeight * kScale + kMargin) * int(strips.size()) + kMargin;
  QImage sheet(width, height, QImage::Format_RGB32);
  sheet.fill(QColor(0xf0, 0xf0, 0xf0));
  QPainter p(&sheet);
  for (size_t k = 0; k < strips.size(); ++k) {
    const QImage big = strips[k].scaled(strips[k].size() * kScale);  // nearest pixel: shows real pixels
    p.drawImage(kMargin, kMargin + int(k) * (kHeight * kScale + kMargin), big);
  }
  return sheet;
}

bool Save(const QImage& image, const QString& path) {
  if (image.save(path, "PNG")) return true;
  std::fprintf(stderr, "korvi_toolbar_art: cannot write %s\n", qPrintable(path));
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 && !(argc == 4 && QString::fromLocal8Bit(argv[2]) == QLatin1String("--preview"))) {
    std::fprintf(stderr, "usage: %s OUT_DIR [--preview FILE]\n", argv[0]);
    return 2;
  }
  const QDir out(QString::fromLocal8Bit(argv[1]));
  if (!out.mkpath(QStringLiteral("."))) {
    std::fprintf(stderr, "korvi_toolbar_art: cannot create %s\n", argv[1]);
    return 1;
  }
  bool ok = true;
  std::array<QImage, 4> plain;
  for (const int scale : {1, 2}) {
    const std::array<QImage, 4> strips{Strip(State::kNormal, scale), Strip(State::kHot, scale),
                                       Strip(State::kPressed, scale), Strip(State::kDisabled, scale)};
    const QString suffix = scale == 1 ? QString() : QStringLiteral("@%1x").arg(scale);
    const auto file = [&out, &suffix](int id) {
      return out.filePath(QStringLiteral("%1%2.png").arg(id).arg(suffix));
    };
    ok = Save(Background(scale), file(kBackgroundId)) && ok;
    ok = Save(strips[0], file(kNormalId)) && ok;
    ok = Save(strips[1], file(kHotId)) && ok;
    ok = Save(strips[2], file(kPressedId)) && ok;
    ok = Save(strips[3], file(kDisabledId)) && ok;
    if (scale == 1) plain = strips;
  }
  if (argc == 4) ok = Save(Preview(plain), QString::fromLocal8Bit(argv[3])) && ok;
  return ok ? 0 : 1;
}
