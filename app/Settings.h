// The settings dialog: the save-on-exit flag and the two UDP ports, which no page shows.
#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;

/// The dialog `SettingsForm`: edits copies of the flag and the ports. The host and
/// device ports live only as the captions of `LabelHP` and `LabelDP`, always the
/// normalised decimal form of a port in 1..65534 (or the design text "56789"). Save
/// closes it with Accepted, Cancel and the close box with Rejected; the caller applies
/// the values. Interface thread only.
class TSettingsForm : public QDialog {
  Q_OBJECT
 public:
  explicit TSettingsForm(QWidget* parent = nullptr);

  /// Step 1 of the dialog sequence: the controls show these values.
  void showValues(bool saveOnExit, int hostPort, int devicePort);
  bool saveOnExit() const;
  /// The integer value of the caption of `LabelHP`.
  int hostPort() const;
  /// The integer value of the caption of `LabelDP`.
  int devicePort() const;

 public slots:
  /// "Change" of the host port: prompts, and takes a valid entry over.
  void ButtonCh1Click();
  /// "Change" of the device port.
  void ButtonCh2Click();
  /// "Restore Default": ticks the flag and shows 56789 for both ports.
  void ButtonRDClick();

 private:
  void changePort(QLabel* label, const QString& promptCaption);
  static int portOf(const QLabel* label);

  QCheckBox* checkBoxSSOE_ = nullptr;
  QLabel* labelHP_ = nullptr;
  QLabel* labelDP_ = nullptr;
};

