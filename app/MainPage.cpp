#include "app/MainPage.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/Appearance.h"
#include "app/Controls.h"
#include "app/Pictures.h"
#include "app/UpDown.h"
#include "instructions/DeviceAddress.h"
#include "instructions/DeviceQuery.h"

namespace vexil::app {

namespace {
constexpr int kEditIPTypingLimit = 128;
constexpr int kDesignLastOctet = 70;
const QString kDesignAddress = QStringLiteral("10.123.13.70");
}  // namespace

MainPage::MainPage(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("TabSheetMain"));
  buildInformationPanel();
  auto* picture = new BoardPicture(this);
  picture->setObjectName(QStringLiteral("ImageMain"));
  picture->setGeometry(452, 4, 264, 318);
  buildSetupPanel();
}

void MainPage::buildInformationPanel() {
  panelInfo_ = new Panel(QStringLiteral("PanelInfo"), Panel::Bevel::Lowered, this);
  panelInfo_->setGeometry(4, 4, 442, 318);
  label1_ = makeLabel(QStringLiteral("Label1"), QStringLiteral("Controller information"),
                      panelInfo_);
  label1_->setAlignment(Qt::AlignCenter);
  label1_->setFont(tahoma(kLargePointSize, true));
  label1_->setGeometry(4, 4, 434, 16);
  memoInfo_ = new Memo(QStringLiteral("MemoInfo"),
                       QStringLiteral("Set IP Address and press Query!"), panelInfo_);
  memoInfo_->setGeometry(4, 22, 434, 292);
  QPalette palette = memoInfo_->palette();
  palette.setColor(QPalette::Base, QColor(kMemoInfoRgb));
  memoInfo_->setPalette(palette);
}

void MainPage::buildSetupPanel() {
  panelSetup_ = new Panel(QStringLiteral("PanelSetup"), Panel::Bevel::Lowered, this);
  panelSetup_->setGeometry(4, 328, 712, 150);
  const QFont large = tahoma(kLargePointSize);

  auto* heading = makeLabel(QStringLiteral("LabelVexilSetup"), QStringLiteral("Vexil Setup"),
                            panelSetup_);
  heading->setFont(tahoma(kLargePointSize, true));
  heading->setGeometry(10, 6, 200, 20);

  auto* label2 = makeLabel(QStringLiteral("Label2"), QStringLiteral("IP Address:"), panelSetup_);
  label2->setFont(large);
  label2->setGeometry(10, 36, 84, 22);

  labelIPAddr_ = makeLabel(QStringLiteral("LabelIPAddr"), kDesignAddress, panelSetup_);
  labelIPAddr_->setFont(tahoma(kLargePointSize, true));
  labelIPAddr_->setGeometry(96, 36, 130, 22);

  upDownIP_ = new UpDown(QStringLiteral("UpDownIP"), kLastOctetMin, kLastOctetMax,
                         kDesignLastOctet, panelSetup_);
  upDownIP_->setGeometry(228, 35, 40, 24);
  connect(upDownIP_, &UpDown::clicked, this, &MainPage::UpDownIPClick);

  buttonQuery_ = new QPushButton(QStringLiteral("Query"), panelSetup_);
  buttonQuery_->setObjectName(QStringLiteral("ButtonQuery"));
  buttonQuery_->setFont(large);
  buttonQuery_->setGeometry(282, 33, 100, 28);
  connect(buttonQuery_, &QPushButton::clicked, this, &MainPage::queryClicked);

  labelD_ = makeLabel(QStringLiteral("LabelD"), QStringLiteral("Device:"), panelSetup_);
  labelD_->setFont(large);
  labelD_->setGeometry(10, 70, 372, 22);

  editIP_ = makeEdit(QStringLiteral("EditIP"), kDesignAddress, kEditIPTypingLimit,
                     panelSetup_);
  editIP_->setFont(large);
  editIP_->setGeometry(10, 108, 216, 26);

  buttonIPBase_ = new QPushButton(QStringLiteral("Change IP"), panelSetup_);
  buttonIPBase_->setObjectName(QStringLiteral("ButtonIPBase"));
  buttonIPBase_->setGeometry(234, 107, 90, 28);
  connect(buttonIPBase_, &QPushButton::clicked, this, &MainPage::ButtonIPBaseClick);

  radioGroupAP_ = new RadioGroup(QStringLiteral("RadioGroupAP"), QStringLiteral("ACK Protocoll"),
                                 {QStringLiteral("QV-Net"), QStringLiteral("Palvox")}, 1,
                                 panelSetup_);
  radioGroupAP_->setGeometry(560, 30, 136, 72);
  radioGroupAP_->setItemIndex(0);
}

void MainPage::loadSettings(const settings::StoredSettings& values) {
  radioGroupAP_->setItemIndex(values.ackProt);
  addressBase_ = values.ipBase;
  upDownIP_->setPosition(settings::clampToRange(values.ipExt, kLastOctetMin, kLastOctetMax));
  showAddress();
  editIP_->setText(QString::fromLatin1(values.ipText));
}

void MainPage::saveSettings(settings::StoredSettings& values) const {
  values.ipBase = addressBase_;
  values.ipText = editIP_->text().toLatin1().toStdString();
  values.ackProt = radioGroupAP_->itemIndex();
  values.ipExt = upDownIP_->position();
}

std::string MainPage::deviceAddress() const {
  return labelIPAddr_->text().toLatin1().toStdString();
}

int MainPage::ackProtocol() const { return radioGroupAP_->itemIndex(); }

void MainPage::showQueryUpdate(const PageUpdate& update) {
  if (update.clearMemo) memoInfo_->clearLines();
  for (const std::string& line : update.lines) memoInfo_->appendLine(QString::fromLatin1(line));
  if (update.deviceCaption) labelD_->setText(QString::fromLatin1(*update.deviceCaption));
}

void MainPage::UpDownIPClick() { showAddress(); }

void MainPage::ButtonIPBaseClick() {
  const std::optional<AddressChange> change =
      takeAddressEntry(editIP_->text().toLatin1().toStdString());
  if (!change) return;
  addressBase_ = change->base;
  upDownIP_->setPosition(change->lastOctet);
  showAddress();
}

void MainPage::showAddress() {
  labelIPAddr_->setText(
      QString::fromLatin1(deviceAddressText(addressBase_, upDownIP_->position())));
}

}  // namespace vexil::app
