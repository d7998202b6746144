// The "Main" page: the device report, the device address and the Query button.
#pragma once

#include <QWidget>
#include <string>

#include "settings/StoredSettings.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace vexil {
struct PageUpdate;
}

namespace vexil::app {

class Memo;
class Panel;
class RadioGroup;
class UpDown;

/// The page `TabSheetMain`. Holds the device address: the address base (up to and
/// including its third dot) and the spinner's last octet, shown together in
/// `LabelIPAddr`, whose caption is what every sender reads. Interface thread only.
class MainPage : public QWidget {
  Q_OBJECT
 public:
  explicit MainPage(QWidget* parent = nullptr);

  /// Fills the controls from `values` in load order: `ACKProt`, `IPBase`, `IPExt`
  /// (clamped to 0..255, then the address label is rebuilt), `IPText`.
  void loadSettings(const settings::StoredSettings& values);
  /// Copies the page's stored values into `values`.
  void saveSettings(settings::StoredSettings& values) const;

  /// The device address at this moment: the caption of `LabelIPAddr`, 8-bit.
  std::string deviceAddress() const;
  /// The address base, 8-bit.
  const std::string& addressBase() const { return addressBase_; }
  /// The item index of `RadioGroupAP` (-1 for none).
  int ackProtocol() const;

  /// Shows one step of the Query operation in `MemoInfo` and `LabelD`.
  void showQueryUpdate(const PageUpdate& update);

 public slots:
  /// Either spinner arrow: the label becomes the base followed by the new position.
  void UpDownIPClick();
  /// "Change IP": takes the address entry over when it is a valid address.
  void ButtonIPBaseClick();

 signals:
  /// The Query button was clicked.
  void queryClicked();

 private:
  void buildInformationPanel();
  void buildSetupPanel();
  void showAddress();

  std::string addressBase_ = "10.123.13.";

  Panel* panelInfo_ = nullptr;
  QLabel* label1_ = nullptr;
  Memo* memoInfo_ = nullptr;
  Panel* panelSetup_ = nullptr;
  QLabel* labelIPAddr_ = nullptr;
  UpDown* upDownIP_ = nullptr;
  QPushButton* buttonQuery_ = nullptr;
  QLabel* labelD_ = nullptr;
  QLineEdit* editIP_ = nullptr;
  QPushButton* buttonIPBase_ = nullptr;
  RadioGroup* radioGroupAP_ = nullptr;
};

}  // namespace vexil::app
