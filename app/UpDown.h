// A horizontal up-down spinner: two arrow buttons side by side that step a position by
// one within a range and stop at its ends. Its value cannot be typed.
#pragma once

#include <QAbstractSpinBox>

namespace vexil::app {

/// The spinner. stepBy(+1) / stepBy(-1) act like the right and left arrows; the
/// keyboard's Right/Up and Left/Down arrows and the mouse wheel step it as well. There is
/// no wrap-around. Interface thread only.
class UpDown : public QAbstractSpinBox {
  Q_OBJECT
 public:
  UpDown(const QString& name, int minimum, int maximum, int position, QWidget* parent);

  int position() const { return position_; }
  int minimum() const { return minimum_; }
  int maximum() const { return maximum_; }
  /// Sets the position, clamped to the range. Does not emit clicked().
  void setPosition(int position);

  void stepBy(int steps) override;
  /// Which arrows still move the position: none at an end of the range.
  StepEnabled stepEnabled() const override;
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 signals:
  /// An arrow was used (by mouse, key or wheel); the position has already moved as far
  /// as the range allows.
  void clicked(int position);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  /// One wheel movement steps by one, whatever the modifiers (the spinner has no
  /// larger steps).
  void wheelEvent(QWheelEvent* event) override;

 private:
  QRect leftArrowRect() const;
  QRect rightArrowRect() const;

  int minimum_;
  int maximum_;
  int position_;
  int pressedArrow_ = 0;  // -1 left, +1 right, 0 none: drawn sunken while held
};

}  // namespace vexil::app
