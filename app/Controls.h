// The control kinds the pages are built from, where Qt's own widget behaves differently
// from what the pages need: edit boxes whose maximum length limits typing only, radio
// groups that can have no item selected, panels with a run-time caption and face colour,
// and read-only memos made of lines. Interface thread only.
#pragma once

#include <QFrame>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStringList>
#include <QValidator>

class QButtonGroup;
class QLabel;
class QRadioButton;

namespace vexil::app {

/// Refuses typing or pasting that would make an edit box longer than `limit`
/// characters, while a text set by the program may be longer and stays whole: a
/// program-set text clears the box's undo history, and only edits that the user made
/// (undo available) and that lengthen the text beyond the limit are cut back.
class TypingLimit : public QValidator {
  Q_OBJECT
 public:
  TypingLimit(int limit, QLineEdit* edit);
  State validate(QString& input, int& pos) const override;
  int limit() const { return limit_; }

 private:
  int limit_;
  QLineEdit* edit_;
  int lengthBefore_ = 0;  // length of the text before the edit being validated
};

/// A new edit box named `name` holding `text`; `typingLimit` > 0 limits typing.
QLineEdit* makeEdit(const QString& name, const QString& text, int typingLimit,
                    QWidget* parent);

/// The typing limit of an edit box made by makeEdit, 0 when it has none.
int typingLimitOf(const QLineEdit* edit);

/// Sets the background ("window") colour of an edit box.
void setEditColour(QLineEdit* edit, const QColor& colour);

/// The background colour an edit box shows.
QColor editColour(const QLineEdit* edit);

/// A group box of radio items in `columns` columns (filled column by column). The item
/// index is the position of the checked item, or -1 when none is checked.
class RadioGroup : public QGroupBox {
  Q_OBJECT
 public:
  RadioGroup(const QString& name, const QString& caption, const QStringList& items,
             int columns, QWidget* parent);

  int count() const { return static_cast<int>(items_.size()); }
  int itemIndex() const;
  /// Selects item `index`; an index below -1 selects nothing, one at or above count()
  /// the last item (the clamping of stored values).
  void setItemIndex(int index);
  QRadioButton* item(int index) const { return items_.at(index); }

 signals:
  /// The selection changed, by the user or by the program; -1 for none.
  void itemIndexChanged(int index);

 private:
  QButtonGroup* group_;
  QList<QRadioButton*> items_;
};

/// A panel: a frame with a bevel, a centred caption and a face colour, both settable
/// at run time.
class Panel : public QFrame {
  Q_OBJECT
 public:
  enum class Bevel { Lowered, Raised, None };
  Panel(const QString& name, Bevel bevel, QWidget* parent);

  QString caption() const;
  void setCaption(const QString& caption);
  QColor faceColour() const;
  void setFaceColour(const QColor& colour);
  /// Back to the desktop's button-face colour.
  void setButtonFace();

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  QLabel* caption_;
};

/// A read-only memo of lines with a vertical scroll bar. Keeps the empty line and the
/// line holding one space apart, and an empty memo apart from one empty line.
class Memo : public QPlainTextEdit {
  Q_OBJECT
 public:
  Memo(const QString& name, const QString& firstLine, QWidget* parent);

  void appendLine(const QString& line);
  void clearLines();
  QStringList lines() const;
  int lineCount() const;

 protected:
  void changeEvent(QEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  bool hasLines_ = false;
  bool shown_ = false;
  bool fontWaiting_ = false;  // set before the first showing, not yet given to the document
};

/// A new label named `name`.
QLabel* makeLabel(const QString& name, const QString& caption, QWidget* parent);
/// A new group box named `name` at `geometry` of `parent`.
QGroupBox* makeGroup(const QString& name, const QString& caption, const QRect& geometry,
                     QWidget* parent);
/// A new push button named `name` at `geometry` of `parent`.
QPushButton* makeButton(const QString& name, const QString& caption, const QRect& geometry,
                        QWidget* parent);

}  // namespace vexil::app
