#include "app/Controls.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QLabel>
#include <QRadioButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <algorithm>

#include "app/Appearance.h"
#include "settings/StoredSettings.h"

namespace vexil::app {

// ---- TypingLimit -----------------------------------------------------------------

TypingLimit::TypingLimit(int limit, QLineEdit* edit)
    : QValidator(edit), limit_(limit), edit_(edit), lengthBefore_(edit->text().size()) {
  connect(edit, &QLineEdit::textChanged, this,
          [this](const QString& text) { lengthBefore_ = static_cast<int>(text.size()); });
}

QValidator::State TypingLimit::validate(QString& input, int& pos) const {
  const int length = static_cast<int>(input.size());
  // A text set by the program arrives with an empty undo history and is taken whole;
  // shortening or keeping the length is always allowed.
  if (length <= limit_ || !edit_->isUndoAvailable() || length <= lengthBefore_) {
    return Acceptable;
  }
  // The characters just typed or pasted end at the cursor: drop as many of them as
  // exceed the room left.
  const int room = std::max(limit_, lengthBefore_);
  const int excess = length - room;
  const int from = std::max(0, pos - excess);
  input.remove(from, excess);
  pos = from;
  return Acceptable;
}

QLineEdit* makeEdit(const QString& name, const QString& text, int typingLimit,
                    QWidget* parent) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(name);
  edit->setText(text);
  if (typingLimit > 0) edit->setValidator(new TypingLimit(typingLimit, edit));
  return edit;
}

int typingLimitOf(const QLineEdit* edit) {
  const auto* limit = qobject_cast<const TypingLimit*>(edit->validator());
  return limit ? limit->limit() : 0;
}

void setEditColour(QLineEdit* edit, const QColor& colour) {
  QPalette palette = edit->palette();
  palette.setColor(QPalette::Base, colour);
  edit->setPalette(palette);
}

QColor editColour(const QLineEdit* edit) { return edit->palette().color(QPalette::Base); }

// ---- RadioGroup ------------------------------------------------------------------

RadioGroup::RadioGroup(const QString& name, const QString& caption,
                       const QStringList& items, int columns, QWidget* parent)
    : QGroupBox(caption, parent), group_(new QButtonGroup(this)) {
  setObjectName(name);
  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(6, 2, 6, 2);
  grid->setVerticalSpacing(0);
  const int perColumn =
      std::max(1, (static_cast<int>(items.size()) + columns - 1) / std::max(1, columns));
  for (int i = 0; i < items.size(); ++i) {
    auto* button = new QRadioButton(items.at(i), this);
    button->setObjectName(name + QStringLiteral("Item%1").arg(i));
    group_->addButton(button, i);
    grid->addWidget(button, i % perColumn, i / perColumn);
    items_.append(button);
  }
  connect(group_, &QButtonGroup::idToggled, this, [this](int, bool checked) {
    if (checked) emit itemIndexChanged(itemIndex());
  });
}

int RadioGroup::itemIndex() const { return group_->checkedId(); }

void RadioGroup::setItemIndex(int index) {
  const int clamped = settings::clampRadioIndex(index, count());
  if (clamped == itemIndex()) return;
  if (clamped < 0) {
    // An exclusive group keeps its last checked button; lift exclusivity to clear it.
    group_->setExclusive(false);
    for (QRadioButton* button : items_) button->setChecked(false);
    group_->setExclusive(true);
    emit itemIndexChanged(-1);
    return;
  }
  items_.at(clamped)->setChecked(true);
}

// ---- Panel -----------------------------------------------------------------------

Panel::Panel(const QString& name, Bevel bevel, QWidget* parent)
    : QFrame(parent), caption_(new QLabel(this)) {
  setObjectName(name);
  switch (bevel) {
    case Bevel::Lowered:
      setFrameStyle(QFrame::Panel | QFrame::Sunken);
      break;
    case Bevel::Raised:
      setFrameStyle(QFrame::Panel | QFrame::Raised);
      break;
    case Bevel::None:
      setFrameStyle(QFrame::NoFrame);
      break;
  }
  caption_->setObjectName(name + QStringLiteral("Caption"));
  caption_->setTextFormat(Qt::PlainText);
  caption_->setAlignment(Qt::AlignCenter);
  caption_->setWordWrap(true);
  caption_->setAttribute(Qt::WA_TransparentForMouseEvents);
  setAutoFillBackground(true);
  setButtonFace();
}

QString Panel::caption() const { return caption_->text(); }

void Panel::setCaption(const QString& caption) { caption_->setText(caption); }

QColor Panel::faceColour() const { return palette().color(QPalette::Window); }

void Panel::setFaceColour(const QColor& colour) {
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, colour);
  setPalette(palette);
}

void Panel::setButtonFace() { setFaceColour(buttonFace()); }

void Panel::resizeEvent(QResizeEvent* event) {
  QFrame::resizeEvent(event);
  caption_->setGeometry(contentsRect());
  caption_->lower();
}

// ---- Memo ------------------------------------------------------------------------

Memo::Memo(const QString& name, const QString& firstLine, QWidget* parent)
    : QPlainTextEdit(parent) {
  setObjectName(name);
  setReadOnly(true);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setLineWrapMode(QPlainTextEdit::WidgetWidth);
  // Text replaced or cleared from outside: an empty document holds no line.
  connect(this, &QPlainTextEdit::textChanged, this, [this] {
    if (!document()->isEmpty()) hasLines_ = true;
  });
  appendLine(firstLine);
}

void Memo::appendLine(const QString& line) {
  QTextCursor cursor(document());
  cursor.movePosition(QTextCursor::End);
  if (lineCount() > 0) cursor.insertBlock();
  cursor.insertText(line);
  hasLines_ = true;
  // Keep the newest line in view.
  setTextCursor(cursor);
  ensureCursorVisible();
}

void Memo::clearLines() {
  clear();
  hasLines_ = false;
}

// A font set before the memo is first shown reaches its document when it is shown. The
// document lays itself out in a new face at once, which loads the face; a memo on a page
// nobody has opened yet need not pay for that while the window is built. font() says
// the new face all along.
void Memo::changeEvent(QEvent* event) {
  if (event->type() == QEvent::FontChange && !shown_) {
    fontWaiting_ = true;
    QAbstractScrollArea::changeEvent(event);
    return;
  }
  QPlainTextEdit::changeEvent(event);
}

void Memo::showEvent(QShowEvent* event) {
  if (!shown_) {
    shown_ = true;
    if (fontWaiting_) document()->setDefaultFont(font());
    fontWaiting_ = false;
  }
  QPlainTextEdit::showEvent(event);
}

int Memo::lineCount() const {
  if (!hasLines_ && document()->isEmpty()) return 0;
  return document()->blockCount();
}

QStringList Memo::lines() const {
  QStringList result;
  if (lineCount() == 0) return result;
  for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
    result.append(block.text());
  }
  return result;
}

// ---- Labels ----------------------------------------------------------------------

QLabel* makeLabel(const QString& name, const QString& caption, QWidget* parent) {
  auto* label = new QLabel(caption, parent);
  label->setObjectName(name);
  // Captions show texts verbatim, also the bytes a device reports (a user text that
  // looks like markup must not be drawn as rich text).
  label->setTextFormat(Qt::PlainText);
  return label;
}

// ---- Groups and buttons ----------------------------------------------------------

QGroupBox* makeGroup(const QString& name, const QString& caption, const QRect& geometry,
                     QWidget* parent) {
  auto* group = new QGroupBox(caption, parent);
  group->setObjectName(name);
  group->setGeometry(geometry);
  return group;
}

QPushButton* makeButton(const QString& name, const QString& caption, const QRect& geometry,
                        QWidget* parent) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(name);
  button->setGeometry(geometry);
  return button;
}

}  // namespace vexil::app
