#include "app/ManufacturerPage.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include "app/Appearance.h"
#include "app/Controls.h"
#include "instructions/ManufacturerSetup.h"

namespace vexil::app {

namespace {

Panel* makeIndicator(const QString& name, const QRect& geometry, QWidget* parent) {
  auto* panel = new Panel(name, Panel::Bevel::Lowered, parent);
  panel->setGeometry(geometry);
  return panel;
}

}  // namespace

ManufacturerPage::ManufacturerPage(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("TabSheetQV"));
  auto* outer = makeGroup(QStringLiteral("GroupBoxMS"), QStringLiteral(" Manufacturer Setup"),
                          QRect(110, 30, 500, 420), this);

  auto* communication = makeGroup(QStringLiteral("GroupBoxCommunication"),
                                  QStringLiteral(" Communication "), QRect(20, 28, 460, 70), outer);
  labelTest1_ =
      makeLabel(QStringLiteral("LabelTest1"), QStringLiteral("Target Device:"), communication);
  labelTest1_->setGeometry(14, 28, 340, 20);
  panelTest1_ = makeIndicator(QStringLiteral("PanelTest1"), QRect(380, 20, 64, 36), communication);

  auto* setup = makeGroup(QStringLiteral("GroupBoxSetup"), QStringLiteral(" Marovantis Setup"),
                          QRect(20, 108, 460, 70), outer);
  labelTest2_ = makeLabel(QStringLiteral("LabelTest2"), QStringLiteral("User Text:"), setup);
  labelTest2_->setGeometry(14, 28, 340, 20);
  panelTest2_ = makeIndicator(QStringLiteral("PanelTest2"), QRect(380, 20, 64, 36), setup);

  auto* selfTest = makeGroup(QStringLiteral("GroupBoxSelfTest"), QStringLiteral(" Self Test "),
                             QRect(20, 188, 460, 70), outer);
  panelTest3_ = makeIndicator(QStringLiteral("PanelTest3"), QRect(380, 20, 64, 36), selfTest);

  labelTest_ =
      makeLabel(QStringLiteral("LabelTest"), QStringLiteral("Press 'Test and Configure' !"), outer);
  labelTest_->setAlignment(Qt::AlignCenter);
  labelTest_->setFont(tahoma(kLargePointSize, true));
  labelTest_->setGeometry(20, 276, 460, 24);

  buttonMS_ = new QPushButton(QStringLiteral("Test and Configure"), outer);
  buttonMS_->setObjectName(QStringLiteral("ButtonMS"));
  buttonMS_->setGeometry(170, 320, 160, 34);
  connect(buttonMS_, &QPushButton::clicked, this, &ManufacturerPage::ButtonMSClick);
}

void ManufacturerPage::ButtonMSClick() {
  if (logic_) logic_->start();
}

void ManufacturerPage::showUpdate(const SetupUpdate& update) {
  if (update.status) labelTest_->setText(fromLatin1(*update.status));
  if (update.targetDevice) labelTest1_->setText(fromLatin1(*update.targetDevice));
  if (update.userText) labelTest2_->setText(fromLatin1(*update.userText));
  if (update.communication) panelTest1_->setFaceColour(pageColour(*update.communication));
  if (update.setup) panelTest2_->setFaceColour(pageColour(*update.setup));
  if (update.selfTest) panelTest3_->setFaceColour(pageColour(*update.selfTest));
}

}  // namespace vexil::app
