// The About box.
#pragma once

#include <QDialog>

/// The dialog `FormAbout`: the product name and version, and an OK button that closes
/// it with Accepted. Client area 305 x 184. Interface thread only.
class TFormAbout : public QDialog {
  Q_OBJECT
 public:
  explicit TFormAbout(QWidget* parent = nullptr);
};

