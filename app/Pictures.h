// The decorative pictures of the windows, drawn in code so that the program carries no
// image files.
#pragma once

#include <QWidget>

namespace vexil::app {

/// The picture behind the main window's pages: a dark blue gradient with a faint grid.
class Backdrop : public QWidget {
  Q_OBJECT
 public:
  explicit Backdrop(QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;
};

/// The main page's picture: the board with its four transport-stream ports and its
/// network port.
class BoardPicture : public QWidget {
  Q_OBJECT
 public:
  explicit BoardPicture(QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;
};

/// A small picture of bytes on the wire, for the instruction-test page.
class BytesPicture : public QWidget {
  Q_OBJECT
 public:
  explicit BytesPicture(QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace vexil::app
