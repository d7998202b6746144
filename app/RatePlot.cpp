#include "app/RatePlot.h"

#include <QPainter>
#include <QPainterPath>
#include <cmath>

namespace vexil::app {
namespace {
constexpr int kMargin = 6;
constexpr int kLabelWidth = 70;
constexpr double kMega = 1e6;
const QColor kLine(0, 90, 170);
const QColor kGrid(210, 210, 210);
}  // namespace

double roundScale(double value) {
  if (!(value > 1)) return 1;
  const double decade = std::pow(10.0, std::floor(std::log10(value)));
  for (double step : {1.0, 2.0, 5.0, 10.0})
    if (step * decade >= value) return step * decade;
  return 10 * decade;
}

RatePlot::RatePlot(QWidget* parent) : QWidget(parent) {
  setMinimumHeight(110);
  setAutoFillBackground(true);
  QPalette p = palette();
  p.setColor(QPalette::Window, Qt::white);
  setPalette(p);
}

void RatePlot::setPoints(const std::deque<stream::RatePoint>& points, std::chrono::seconds span) {
  points_ = points;
  span_ = span;
  update();
}

void RatePlot::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QRect area(kLabelWidth, kMargin, width() - kLabelWidth - kMargin, height() - 2 * kMargin - 14);
  double highest = 0;
  for (const auto& p : points_) highest = std::max(highest, p.bitsPerSecond);
  const double top = roundScale(highest / kMega) * kMega;

  painter.setPen(kGrid);
  for (int i = 0; i <= 4; ++i) {
    const int y = area.bottom() - area.height() * i / 4;
    painter.drawLine(area.left(), y, area.right(), y);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(QRect(0, y - 8, kLabelWidth - 4, 16), Qt::AlignRight | Qt::AlignVCenter,
                     QString::number(top / kMega * i / 4, 'g', 3) + QStringLiteral(" Mb/s"));
    painter.setPen(kGrid);
  }
  painter.setPen(palette().color(QPalette::WindowText));
  painter.drawText(QRect(area.left(), area.bottom() + 2, area.width(), 14), Qt::AlignLeft,
                   span_.count() < 120 ? QStringLiteral("-%1 s").arg(span_.count())
                                       : QStringLiteral("-%1 min").arg(span_.count() / 60.0, 0, 'g', 2));
  painter.drawText(QRect(area.left(), area.bottom() + 2, area.width(), 14), Qt::AlignRight,
                   QStringLiteral("now"));
  if (points_.empty()) return;

  const auto newest = points_.back().at;
  const double spanSeconds = static_cast<double>(span_.count());
  QPainterPath path;
  bool first = true;
  for (const auto& p : points_) {
    const double age = std::chrono::duration<double>(newest - p.at).count();
    const double x = area.right() - area.width() * std::min(age, spanSeconds) / spanSeconds;
    const double y = area.bottom() - area.height() * p.bitsPerSecond / top;
    if (first) path.moveTo(x, y); else path.lineTo(x, y);
    first = false;
  }
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(kLine, 2));
  painter.drawPath(path);
}

}  // namespace vexil::app
