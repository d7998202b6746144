// A small line plot of the bit rate over the last minutes.
#pragma once

#include <QWidget>
#include <deque>

#include "stream/StreamMeter.h"

namespace vexil::app {

/// Draws the points it is given, newest at the right edge, time axis `span` wide, rate
/// axis from 0 to a round value above the highest point. Interface thread only.
class RatePlot : public QWidget {
  Q_OBJECT
 public:
  explicit RatePlot(QWidget* parent = nullptr);
  void setPoints(const std::deque<stream::RatePoint>& points, std::chrono::seconds span);
  std::size_t pointCount() const { return points_.size(); }
  QSize sizeHint() const override { return {520, 140}; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::deque<stream::RatePoint> points_;
  std::chrono::seconds span_{300};
};

/// The smallest of 1, 2, 5 x 10^n that is at least `value` (at least 1).
double roundScale(double value);

}  // namespace vexil::app
