#include "app/UpDown.h"

#include <QWheelEvent>

#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionButton>
#include <algorithm>

#include "settings/StoredSettings.h"

namespace vexil::app {

namespace {
constexpr int kArrowWidth = 17;
constexpr int kArrowHeight = 21;
}  // namespace

UpDown::UpDown(const QString& name, int minimum, int maximum, int position,
               QWidget* parent)
    : QAbstractSpinBox(parent), minimum_(minimum), maximum_(maximum), position_(minimum) {
  setObjectName(name);
  setWrapping(false);
  setButtonSymbols(QAbstractSpinBox::NoButtons);
  // The position is shown elsewhere; the spinner is only its two arrows.
  lineEdit()->setReadOnly(true);
  lineEdit()->hide();
  setFocusPolicy(Qt::TabFocus);
  setPosition(position);
}

void UpDown::setPosition(int position) {
  position_ = settings::clampToRange(position, minimum_, maximum_);
  update();
}

void UpDown::stepBy(int steps) {
  const long long target = static_cast<long long>(position_) + steps;
  position_ = static_cast<int>(std::clamp<long long>(target, minimum_, maximum_));
  update();
  emit clicked(position_);
}

QAbstractSpinBox::StepEnabled UpDown::stepEnabled() const {
  StepEnabled enabled = StepNone;
  if (position_ < maximum_) enabled |= StepUpEnabled;
  if (position_ > minimum_) enabled |= StepDownEnabled;
  return enabled;
}

QSize UpDown::sizeHint() const { return {2 * kArrowWidth, kArrowHeight}; }

QSize UpDown::minimumSizeHint() const { return sizeHint(); }

QRect UpDown::leftArrowRect() const { return {0, 0, width() / 2, height()}; }

QRect UpDown::rightArrowRect() const {
  return {width() / 2, 0, width() - width() / 2, height()};
}

void UpDown::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const struct {
    QRect rect;
    QStyle::PrimitiveElement arrow;
    int direction;
  } buttons[] = {{leftArrowRect(), QStyle::PE_IndicatorArrowLeft, -1},
                 {rightArrowRect(), QStyle::PE_IndicatorArrowRight, +1}};
  for (const auto& button : buttons) {
    QStyleOptionButton option;
    option.initFrom(this);
    option.rect = button.rect;
    const bool sunken = pressedArrow_ == button.direction;
    option.state |= sunken ? QStyle::State_Sunken : QStyle::State_Raised;
    style()->drawPrimitive(QStyle::PE_PanelButtonBevel, &option, &painter, this);
    QStyleOption arrow;
    arrow.initFrom(this);
    arrow.rect = button.rect.adjusted(4, 5, -4, -5);
    if (sunken) arrow.rect.translate(1, 1);
    style()->drawPrimitive(button.arrow, &arrow, &painter, this);
  }
}

void UpDown::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    event->ignore();
    return;
  }
  pressedArrow_ = leftArrowRect().contains(event->position().toPoint()) ? -1 : +1;
  update();
  stepBy(pressedArrow_);
  event->accept();
}

void UpDown::mouseReleaseEvent(QMouseEvent* event) {
  pressedArrow_ = 0;
  update();
  event->accept();
}

void UpDown::mouseMoveEvent(QMouseEvent* event) { event->accept(); }

void UpDown::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Right:
    case Qt::Key_Up:
      stepBy(+1);
      break;
    case Qt::Key_Left:
    case Qt::Key_Down:
      stepBy(-1);
      break;
    default:
      event->ignore();
      return;
  }
  event->accept();
}

void UpDown::wheelEvent(QWheelEvent* event) {
  const QPoint delta = event->angleDelta();
  const int amount = delta.y() != 0 ? delta.y() : delta.x();
  if (amount == 0) {
    event->ignore();
    return;
  }
  stepBy(amount > 0 ? +1 : -1);
  event->accept();
}

}  // namespace vexil::app
