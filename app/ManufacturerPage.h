// The "Manufacturer Setup" page: the two-step test and branding of a device, with its
// three indicator panels and its status line.
#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

namespace vexil {
class ManufacturerSetup;
struct SetupUpdate;
}  // namespace vexil

namespace vexil::app {

class Panel;

/// The page `TabSheetQV`. Shown only when the settings file asks for it. Interface
/// thread only.
class ManufacturerPage : public QWidget {
  Q_OBJECT
 public:
  explicit ManufacturerPage(QWidget* parent = nullptr);

  QLabel* targetDeviceLabel() const { return labelTest1_; }
  QLabel* userTextLabel() const { return labelTest2_; }
  QLabel* statusLabel() const { return labelTest_; }
  Panel* communicationPanel() const { return panelTest1_; }
  Panel* setupPanel() const { return panelTest2_; }
  Panel* selfTestPanel() const { return panelTest3_; }
  QPushButton* startButton() const { return buttonMS_; }

  /// The sequence; the button does nothing until it is attached.
  void attach(ManufacturerSetup* logic) { logic_ = logic; }
  /// One step of the sequence: the labels and indicators it names.
  void showUpdate(const SetupUpdate& update);

 public slots:
  /// "Test and Configure".
  void ButtonMSClick();

 private:
  QLabel* labelTest1_ = nullptr;
  QLabel* labelTest2_ = nullptr;
  QLabel* labelTest_ = nullptr;
  Panel* panelTest1_ = nullptr;
  Panel* panelTest2_ = nullptr;
  Panel* panelTest3_ = nullptr;
  QPushButton* buttonMS_ = nullptr;
  ManufacturerSetup* logic_ = nullptr;
};

}  // namespace vexil::app
