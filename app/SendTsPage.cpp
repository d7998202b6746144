#include "app/SendTsPage.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>

#include "app/Appearance.h"
#include "app/Controls.h"
#include "instructions/PageCaptions.h"
#include "instructions/TsRouting.h"
#include "messaging/WireLayout.h"

namespace vexil::app {

namespace {

constexpr int kAddressTypingLimit = 3;
constexpr int kTsSourceColumns = 4;
constexpr int kPacketNumberColumns = 7;
// Design-time selections: IPTV, "Send TS", "Disabled", source 1, 7 packets, 188 bytes.
constexpr int kDesignTsFormat = 1;
constexpr int kDesignPacketNumber = 6;

}  // namespace

SendTsPage::SendTsPage(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("TabSheetSendTS"));
  auto* heading = makeLabel(QStringLiteral("Label12"),
                            QStringLiteral("Send Transport Stream Instruction"), this);
  heading->setFont(tahoma(kHeadingPointSize, true));
  heading->setGeometry(10, 4, 500, 24);
  buildCommonGroup();
  buildQvNetGroup();
  buildIptvGroup();

  auto* sendButton = new QPushButton(QStringLiteral("Send TS"), this);
  sendButton->setObjectName(QStringLiteral("ButtonSendTS"));
  sendButton->setGeometry(8, 248, 130, 30);
  auto* dontSendButton = new QPushButton(QStringLiteral("Don't Send TS"), this);
  dontSendButton->setObjectName(QStringLiteral("ButtonDontSendTS"));
  dontSendButton->setGeometry(146, 248, 130, 30);
  connect(sendButton, &QPushButton::clicked, this, &SendTsPage::ButtonSendTSClick);
  connect(dontSendButton, &QPushButton::clicked, this, &SendTsPage::ButtonDontSendTSClick);

  panelTS_ = new Panel(QStringLiteral("PanelTS"), Panel::Bevel::Lowered, this);
  panelTS_->setGeometry(8, 444, 704, 34);
}

void SendTsPage::buildCommonGroup() {
  auto* group = makeGroup(QStringLiteral("GroupBoxCommon"), QStringLiteral(" Common Parameters "),
                          QRect(8, 34, 400, 204), this);
  radioGroupTSFormat_ =
      new RadioGroup(QStringLiteral("RadioGroupTSFormat"), QStringLiteral(" TS Format "),
                     {QStringLiteral("QV-Net"), QStringLiteral("IPTV")}, 1, group);
  radioGroupTSFormat_->setGeometry(10, 20, 110, 62);
  radioGroupTSFormat_->setItemIndex(kDesignTsFormat);
  radioGroupITType_ =
      new RadioGroup(QStringLiteral("RadioGroupITType"), QStringLiteral(" Instruction Type "),
                     {QStringLiteral("Send TS"), QStringLiteral("Always Send TS")}, 1, group);
  radioGroupITType_->setGeometry(128, 20, 136, 62);
  radioGroupITType_->setItemIndex(0);
  radioGroupDVPin_ =
      new RadioGroup(QStringLiteral("RadioGroupDVPin"), QStringLiteral(" Data Valid Pin "),
                     {QStringLiteral("Disabled"), QStringLiteral("Enabled")}, 1, group);
  radioGroupDVPin_->setGeometry(272, 20, 118, 62);
  radioGroupDVPin_->setItemIndex(0);
  radioGroupTSSource_ = new RadioGroup(
      QStringLiteral("RadioGroupTSSource"), QStringLiteral(" TS Source "),
      {QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("4")},
      kTsSourceColumns, group);
  radioGroupTSSource_->setGeometry(10, 88, 380, 44);
  radioGroupTSSource_->setItemIndex(0);

  auto* label13 = makeLabel(QStringLiteral("Label13"), QStringLiteral("Destination IP:"), group);
  label13->setGeometry(10, 142, 180, 18);
  const char* const design[] = {"10", "123", "13", "201"};
  for (std::size_t i = 0; i < settings::kAddressPartCount; ++i) {
    editDIP_.at(i) = makeEdit(QStringLiteral("EditDIP%1").arg(i + 1),
                              QString::fromLatin1(design[i]), kAddressTypingLimit, group);
    editDIP_.at(i)->setGeometry(10 + static_cast<int>(i) * 48, 164, 40, 22);
  }
  auto* label15 = makeLabel(QStringLiteral("Label15"), QStringLiteral("Destination Port:"), group);
  label15->setGeometry(220, 142, 160, 18);
  editDPort_ = makeEdit(QStringLiteral("EditDPort"), QString::number(wire::kDefaultPort), 0, group);
  editDPort_->setGeometry(220, 164, 90, 22);
}

void SendTsPage::buildQvNetGroup() {
  auto* group = makeGroup(QStringLiteral("GroupBoxQVNet"), QStringLiteral(" QV-Net Data Size "),
                          QRect(416, 34, 296, 80), this);
  scrollBarQVNetSize_ = new QScrollBar(Qt::Horizontal, group);
  scrollBarQVNetSize_->setObjectName(QStringLiteral("ScrollBarQVNetSize"));
  scrollBarQVNetSize_->setRange(kQvNetSizeMin, kQvNetSizeMax);
  scrollBarQVNetSize_->setSingleStep(1);
  scrollBarQVNetSize_->setPageStep(1);
  scrollBarQVNetSize_->setValue(kQvNetSizeMax);
  scrollBarQVNetSize_->setGeometry(10, 24, 276, 18);
  // valueChanged reports arrows, page clicks, dragging and positions set by the program.
  connect(scrollBarQVNetSize_, &QScrollBar::valueChanged, this,
          &SendTsPage::ScrollBarQVNetSizeScroll);
  label14_ = makeLabel(QStringLiteral("Label14"), QStringLiteral("QV-Net Data Size is 1428 bytes."),
                       group);
  label14_->setGeometry(10, 50, 276, 18);
}

void SendTsPage::buildIptvGroup() {
  auto* group = makeGroup(QStringLiteral("GroupBoxIPTV"), QStringLiteral(" IPTV Parameters "),
                          QRect(416, 122, 296, 196), this);
  QStringList numbers;
  for (int n = 1; n <= kPacketNumberColumns; ++n) numbers << QString::number(n);
  radioGroupPN_ = new RadioGroup(QStringLiteral("RadioGroupPN"), QStringLiteral(" Packet Number "),
                                 numbers, kPacketNumberColumns, group);
  radioGroupPN_->setGeometry(10, 20, 276, 44);
  radioGroupPN_->setItemIndex(kDesignPacketNumber);
  checkBoxRN_ = new QCheckBox(QStringLiteral("Remove Null Packets"), group);
  checkBoxRN_->setObjectName(QStringLiteral("CheckBoxRN"));
  checkBoxRN_->setGeometry(12, 72, 270, 20);
  checkBoxRT_ = new QCheckBox(QStringLiteral("Remove Packets with TSP Error"), group);
  checkBoxRT_->setObjectName(QStringLiteral("CheckBoxRT"));
  checkBoxRT_->setGeometry(12, 96, 270, 20);
  radioGroupPF_ =
      new RadioGroup(QStringLiteral("RadioGroupPF"), QStringLiteral(" Packet Format "),
                     {QStringLiteral("188 bytes"), QStringLiteral("204 bytes")}, 1, group);
  radioGroupPF_->setGeometry(10, 122, 150, 62);
  radioGroupPF_->setItemIndex(0);
}

void SendTsPage::ScrollBarQVNetSizeScroll(int position) {
  label14_->setText(QString::fromLatin1(qvNetSizeCaption(position)));
}

void SendTsPage::loadSettings(const settings::StoredSettings& values) {
  for (std::size_t i = 0; i < settings::kAddressPartCount; ++i) {
    editDIP_.at(i)->setText(QString::fromLatin1(values.destinationIp.at(i)));
  }
  radioGroupTSFormat_->setItemIndex(values.tsFormat);
  radioGroupITType_->setItemIndex(values.itType);
  radioGroupDVPin_->setItemIndex(values.dvPin);
  scrollBarQVNetSize_->setValue(
      settings::clampToRange(values.qvNetSize, kQvNetSizeMin, kQvNetSizeMax));
  ScrollBarQVNetSizeScroll(scrollBarQVNetSize_->value());
  radioGroupTSSource_->setItemIndex(values.tsSource);
  editDPort_->setText(QString::fromLatin1(values.destinationPort));
  radioGroupPN_->setItemIndex(values.packetNumber);
  radioGroupPF_->setItemIndex(values.packetFormat);
  checkBoxRN_->setChecked(values.removeNullpacket);
  checkBoxRT_->setChecked(values.removeTsp);
}

void SendTsPage::saveSettings(settings::StoredSettings& values) const {
  for (std::size_t i = 0; i < settings::kAddressPartCount; ++i) {
    values.destinationIp.at(i) = editDIP_.at(i)->text().toLatin1().toStdString();
  }
  values.tsFormat = radioGroupTSFormat_->itemIndex();
  values.itType = radioGroupITType_->itemIndex();
  values.dvPin = radioGroupDVPin_->itemIndex();
  values.qvNetSize = scrollBarQVNetSize_->value();
  values.tsSource = radioGroupTSSource_->itemIndex();
  values.destinationPort = editDPort_->text().toLatin1().toStdString();
  values.packetNumber = radioGroupPN_->itemIndex();
  values.packetFormat = radioGroupPF_->itemIndex();
  values.removeNullpacket = checkBoxRN_->isChecked();
  values.removeTsp = checkBoxRT_->isChecked();
}

SendTsEntries SendTsPage::entries() const {
  SendTsEntries e;
  e.tsFormat = radioGroupTSFormat_->itemIndex();
  e.instructionType = radioGroupITType_->itemIndex();
  e.dataValidPin = radioGroupDVPin_->itemIndex();
  e.tsSource = radioGroupTSSource_->itemIndex();
  for (std::size_t i = 0; i < e.destinationIp.size(); ++i) {
    e.destinationIp[i] = latin1(editDIP_.at(i)->text());
  }
  e.destinationPort = latin1(editDPort_->text());
  e.qvNetSize = scrollBarQVNetSize_->value();
  e.packetNumber = radioGroupPN_->itemIndex();
  e.removeNullPackets = checkBoxRN_->isChecked();
  e.removeTspErrors = checkBoxRT_->isChecked();
  e.packetFormat = radioGroupPF_->itemIndex();
  return e;
}

void SendTsPage::showStatus(const PanelUpdate& update) {
  if (update.text) panelTS_->setCaption(fromLatin1(*update.text));
  panelTS_->setFaceColour(pageColour(update.colour));
}

void SendTsPage::ButtonSendTSClick() {
  if (!logic_) return;
  const SendTsRequest request = buildSendTs(entries());
  editDPort_->setText(fromLatin1(request.destinationPort));
  for (std::size_t i = 0; i < editDIP_.size(); ++i) {
    editDIP_.at(i)->setText(fromLatin1(request.destinationIp[i]));
  }
  logic_->send(request.frame);
}

void SendTsPage::ButtonDontSendTSClick() {
  if (!logic_) return;
  logic_->send(buildDontSendTs(radioGroupTSSource_->itemIndex()));
}

}  // namespace vexil::app
