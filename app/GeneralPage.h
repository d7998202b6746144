// The "General" page: one-instruction settings of the device (serial number, type,
// reset, user text, addresses, NCO frequencies) and its status panel.
#pragma once

#include <QWidget>
#include <array>

#include "settings/StoredSettings.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QScrollBar;

namespace vexil {
class GeneralInstructions;
struct PanelUpdate;
}  // namespace vexil

namespace vexil::app {

class Panel;
class RadioGroup;

/// The page `TabSheetNCO`. `LabelReset` follows every movement of `ScrollBarReset`,
/// also the position loaded at start. Interface thread only.
class GeneralPage : public QWidget {
  Q_OBJECT
 public:
  using AddressEdits = std::array<QLineEdit*, settings::kAddressPartCount>;

  explicit GeneralPage(QWidget* parent = nullptr);

  /// Fills the controls from `values` in load order; the reset type is clamped to the
  /// radio group, the reset time to 1..255.
  void loadSettings(const settings::StoredSettings& values);
  /// Copies the page's stored values into `values`.
  void saveSettings(settings::StoredSettings& values) const;

  QLineEdit* serialEdit() const { return editSerial_; }
  QLineEdit* typeEdit() const { return editType_; }
  RadioGroup* resetTypeGroup() const { return radioGroupReset_; }
  QScrollBar* resetTimeBar() const { return scrollBarReset_; }
  QLineEdit* userTextEdit() const { return editUT_; }
  const AddressEdits& ipEdits() const { return editSIP_; }
  const AddressEdits& netMaskEdits() const { return editNM_; }
  const AddressEdits& gatewayEdits() const { return editGIP_; }
  QLineEdit* ncoEdit(int channel) const { return editNCO_.at(channel); }
  Panel* statusPanel() const { return panelGS_; }
  QLabel* statusLabel() const { return labelGS_; }

  /// The page's transactions; the buttons do nothing until it is attached.
  void attach(GeneralInstructions* logic) { logic_ = logic; }
  /// One step of the status panel: LabelGS (when the text changes) and PanelGS's face.
  void showStatus(const PanelUpdate& update);

 public slots:
  void ButtonSerialClick();
  void ButtonTypeClick();
  void ButtonResetClick();
  void ButtonUTClick();
  void ButtonSIPClick();
  void ButtonNMClick();
  void ButtonGIPClick();
  /// "Set NCO n" for `channel` 1..4.
  void ButtonNCOClick(int channel);
  /// Any movement of the reset-time scroll bar: the label shows `position`.
  void ScrollBarResetScroll(int position);

 private:
  void buildResetGroup();
  void buildEntryGroups();
  void buildAddressGroup();
  void buildNcoGroup();
  void buildStatusPanel();
  void sendAddressRow(int row);

  GeneralInstructions* logic_ = nullptr;
  RadioGroup* radioGroupReset_ = nullptr;
  QScrollBar* scrollBarReset_ = nullptr;
  QLabel* labelReset_ = nullptr;
  QLineEdit* editSerial_ = nullptr;
  QLineEdit* editType_ = nullptr;
  QLineEdit* editUT_ = nullptr;
  AddressEdits editSIP_{};
  AddressEdits editNM_{};
  AddressEdits editGIP_{};
  std::array<QLineEdit*, settings::kNcoCount> editNCO_{};
  Panel* panelGS_ = nullptr;
  QLabel* labelGS_ = nullptr;
};

}  // namespace vexil::app
