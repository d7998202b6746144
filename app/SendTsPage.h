// The "Send TS" page: the routing of one input's transport stream to a destination, in
// QV-Net or IPTV format, and its outcome panel.
#pragma once

#include <QWidget>
#include <array>

#include "settings/StoredSettings.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollBar;

namespace vexil {
class TsRouting;
struct PanelUpdate;
struct SendTsEntries;
}  // namespace vexil

namespace vexil::app {

class Panel;
class RadioGroup;

/// The page `TabSheetSendTS`. `Label14` follows every movement of `ScrollBarQVNetSize`,
/// also the position loaded at start. Interface thread only.
class SendTsPage : public QWidget {
  Q_OBJECT
 public:
  explicit SendTsPage(QWidget* parent = nullptr);

  /// Fills the controls from `values` in load order; radio indexes are clamped to
  /// their groups, the data size to 256..1428.
  void loadSettings(const settings::StoredSettings& values);
  /// Copies the page's stored values into `values`.
  void saveSettings(settings::StoredSettings& values) const;

  RadioGroup* tsFormatGroup() const { return radioGroupTSFormat_; }
  RadioGroup* instructionTypeGroup() const { return radioGroupITType_; }
  RadioGroup* dataValidPinGroup() const { return radioGroupDVPin_; }
  RadioGroup* tsSourceGroup() const { return radioGroupTSSource_; }
  RadioGroup* packetNumberGroup() const { return radioGroupPN_; }
  RadioGroup* packetFormatGroup() const { return radioGroupPF_; }
  QScrollBar* qvNetSizeBar() const { return scrollBarQVNetSize_; }
  const std::array<QLineEdit*, settings::kAddressPartCount>& destinationEdits() const {
    return editDIP_;
  }
  QLineEdit* destinationPortEdit() const { return editDPort_; }
  QCheckBox* removeNullPacketsBox() const { return checkBoxRN_; }
  QCheckBox* removeTspErrorBox() const { return checkBoxRT_; }
  Panel* statusPanel() const { return panelTS_; }

  /// The page's transactions; the buttons do nothing until it is attached.
  void attach(TsRouting* logic) { logic_ = logic; }
  /// The controls as plain values.
  SendTsEntries entries() const;
  /// One step of PanelTS: its caption (when it changes) and its face.
  void showStatus(const PanelUpdate& update);

 public slots:
  /// Any movement of the data-size scroll bar: `Label14` shows `position`.
  void ScrollBarQVNetSizeScroll(int position);
  /// "Send TS": converts and writes back the destination, then sends.
  void ButtonSendTSClick();
  /// "Don't Send TS": sends for the selected source; no box is read or rewritten.
  void ButtonDontSendTSClick();

 private:
  void buildCommonGroup();
  void buildQvNetGroup();
  void buildIptvGroup();

  RadioGroup* radioGroupTSFormat_ = nullptr;
  RadioGroup* radioGroupITType_ = nullptr;
  RadioGroup* radioGroupDVPin_ = nullptr;
  RadioGroup* radioGroupTSSource_ = nullptr;
  std::array<QLineEdit*, settings::kAddressPartCount> editDIP_{};
  QLineEdit* editDPort_ = nullptr;
  QScrollBar* scrollBarQVNetSize_ = nullptr;
  QLabel* label14_ = nullptr;
  RadioGroup* radioGroupPN_ = nullptr;
  QCheckBox* checkBoxRN_ = nullptr;
  QCheckBox* checkBoxRT_ = nullptr;
  RadioGroup* radioGroupPF_ = nullptr;
  Panel* panelTS_ = nullptr;
  TsRouting* logic_ = nullptr;
};

}  // namespace vexil::app
