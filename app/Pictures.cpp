#include "app/Pictures.h"

#include <QLinearGradient>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>

#include "app/Appearance.h"

namespace vexil::app {

namespace {
const QColor kNavy(0x14, 0x2B, 0x4F);
const QColor kDeepBlue(0x0B, 0x17, 0x2C);
const QColor kBoardGreen(0x1E, 0x5E, 0x3A);
const QColor kBoardEdge(0x10, 0x3A, 0x22);
const QColor kChip(0x22, 0x22, 0x26);
const QColor kCopper(0xC8, 0x9B, 0x3C);
const QColor kSilverPort(0xB8, 0xBE, 0xC4);
}  // namespace

Backdrop::Backdrop(QWidget* parent) : QWidget(parent) {}

void Backdrop::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  QLinearGradient gradient(rect().topLeft(), rect().bottomRight());
  gradient.setColorAt(0.0, kNavy);
  gradient.setColorAt(1.0, kDeepBlue);
  // The page panel covers all but a thin frame of the backdrop, so the exposed region
  // is a few bands. Each is filled on its own: a fill clipped to a region would still
  // walk every row of the whole rectangle.
  const QColor gridLine(255, 255, 255, 18);
  constexpr int kGrid = 24;
  for (const QRect& band : event->region()) {
    painter.fillRect(band, gradient);
    // The grid's lines as one-pixel rectangles: the same pixels as hairlines, blended
    // a span at a time instead of stepped along pixel by pixel.
    for (int x = band.left() + (kGrid - band.left() % kGrid) % kGrid; x <= band.right();
         x += kGrid) {
      painter.fillRect(QRect(x, band.top(), 1, band.height()), gridLine);
    }
    for (int y = band.top() + (kGrid - band.top() % kGrid) % kGrid; y <= band.bottom();
         y += kGrid) {
      painter.fillRect(QRect(band.left(), y, band.width(), 1), gridLine);
    }
  }
}

BoardPicture::BoardPicture(QWidget* parent) : QWidget(parent) {}

void BoardPicture::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  QLinearGradient sky(0, 0, 0, height());
  sky.setColorAt(0.0, QColor(0xE8, 0xEE, 0xF6));
  sky.setColorAt(1.0, QColor(0xB9, 0xC8, 0xDD));
  painter.fillRect(rect(), sky);

  // The board, seen from above at a slight angle.
  const QRectF board(18, 56, width() - 36, height() - 130);
  painter.setPen(QPen(kBoardEdge, 2));
  painter.setBrush(kBoardGreen);
  painter.drawRoundedRect(board, 6, 6);

  // Traces.
  painter.setPen(QPen(kCopper, 1.2));
  for (int i = 0; i < 6; ++i) {
    const qreal y = board.top() + 24 + i * 14;
    painter.drawLine(QPointF(board.left() + 70, y), QPointF(board.right() - 60, y));
  }

  // The controller and its memory.
  painter.setPen(Qt::NoPen);
  painter.setBrush(kChip);
  const QRectF controller(board.center().x() - 34, board.top() + 30, 68, 68);
  painter.drawRect(controller);
  painter.drawRect(QRectF(controller.right() + 16, controller.top() + 6, 30, 22));
  painter.drawRect(QRectF(controller.right() + 16, controller.top() + 40, 30, 22));
  painter.setPen(QColor(0xDD, 0xDD, 0xDD));
  painter.setFont(tahoma(kLargePointSize, true));
  painter.drawText(controller, Qt::AlignCenter, QStringLiteral("VEXIL"));

  // Four transport-stream ports on the left edge, the network port on the right.
  painter.setPen(QPen(kBoardEdge, 1));
  painter.setBrush(kSilverPort);
  for (int i = 0; i < 4; ++i) {
    const qreal y = board.top() + 14 + i * ((board.height() - 28) / 4.0);
    painter.drawRect(QRectF(board.left() - 8, y, 26, 22));
  }
  painter.drawRect(QRectF(board.right() - 26, board.center().y() - 18, 34, 36));

  // Caption, in faces the page around it already uses: each further size or weight
  // costs a font match and a glyph cache of its own before the window first shows.
  painter.setPen(kNavy);
  painter.setFont(tahoma(kLargePointSize, true));
  painter.drawText(QRectF(0, 8, width(), 26), Qt::AlignCenter, QStringLiteral("Vexil"));
  painter.setFont(tahoma(kDefaultPointSize));
  painter.drawText(QRectF(0, 30, width(), 18), Qt::AlignCenter,
                   QStringLiteral("MPEG transport streams over IP"));
  painter.drawText(QRectF(0, height() - 66, width(), 18), Qt::AlignCenter,
                   QStringLiteral("4 TS inputs  \u2022  4 TS outputs  \u2022  4 NCOs"));
  painter.drawText(QRectF(0, height() - 46, width(), 18), Qt::AlignCenter,
                   QStringLiteral("QV-Net and IPTV formats"));
}

BytesPicture::BytesPicture(QWidget* parent) : QWidget(parent) {}

void BytesPicture::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.fillRect(rect(), kNavy);
  painter.setFont(courierNew(kMemoInsPointSize));
  const QString rows[] = {QStringLiteral("50 61 6C"), QStringLiteral("76 6F 78"),
                          QStringLiteral("03 00 01")};
  const qreal step = height() / 4.0;
  for (int i = 0; i < 3; ++i) {
    painter.setPen(i == 2 ? QColor(kOpcodeColumnRgb) : QColor(kLengthColumnRgb));
    painter.drawText(QRectF(0, step * (i + 0.5), width(), step), Qt::AlignCenter, rows[i]);
  }
}

}  // namespace vexil::app
