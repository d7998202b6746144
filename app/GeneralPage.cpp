#include "app/GeneralPage.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>

#include "app/Appearance.h"
#include "app/Controls.h"
#include "instructions/GeneralInstructions.h"
#include "instructions/PageCaptions.h"

namespace vexil::app {

namespace {

constexpr int kAddressTypingLimit = 3;
constexpr int kUserTextTypingLimit = 15;
constexpr int kDesignResetTime = 10;

}  // namespace

GeneralPage::GeneralPage(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("TabSheetNCO"));
  auto* heading =
      makeLabel(QStringLiteral("LabelGeneral"), QStringLiteral("General Instructions"), this);
  heading->setFont(tahoma(kLargePointSize, true));
  heading->setGeometry(10, 6, 300, 20);
  buildResetGroup();
  buildEntryGroups();
  buildAddressGroup();
  buildNcoGroup();
  // The page's empty frame, kept for its place in the layout.
  makeGroup(QStringLiteral("GroupBoxSpare"), QString(), QRect(484, 232, 228, 196), this);
  buildStatusPanel();
}

void GeneralPage::buildResetGroup() {
  auto* group = makeGroup(QStringLiteral("GroupBoxReset"), QStringLiteral(" Reset "),
                          QRect(8, 28, 230, 196), this);
  radioGroupReset_ = new RadioGroup(
      QStringLiteral("RadioGroupReset"), QStringLiteral(" Reset Type "),
      {QStringLiteral("PDI Reset"), QStringLiteral("System Reset"), QStringLiteral("SDI Reset")}, 1,
      group);
  radioGroupReset_->setGeometry(10, 20, 140, 80);

  scrollBarReset_ = new QScrollBar(Qt::Horizontal, group);
  scrollBarReset_->setObjectName(QStringLiteral("ScrollBarReset"));
  scrollBarReset_->setRange(kResetTimeMin, kResetTimeMax);
  scrollBarReset_->setSingleStep(1);
  scrollBarReset_->setPageStep(1);
  scrollBarReset_->setValue(kDesignResetTime);
  scrollBarReset_->setGeometry(10, 110, 210, 18);
  // valueChanged reports arrows, page clicks, dragging and positions set by the program.
  connect(scrollBarReset_, &QScrollBar::valueChanged, this, &GeneralPage::ScrollBarResetScroll);

  labelReset_ = makeLabel(QStringLiteral("LabelReset"),
                          QString::fromLatin1(resetTimeCaption(kDesignResetTime)), group);
  labelReset_->setGeometry(10, 132, 210, 18);
  auto* reset = makeButton(QStringLiteral("ButtonReset"), QStringLiteral("Send Instruction"),
                           QRect(10, 156, 130, 28), group);
  connect(reset, &QPushButton::clicked, this, &GeneralPage::ButtonResetClick);
}

void GeneralPage::buildEntryGroups() {
  auto* serial = makeGroup(QStringLiteral("GroupBoxSerial"), QStringLiteral(" Set Serial Number "),
                           QRect(246, 28, 230, 60), this);
  editSerial_ = makeEdit(QStringLiteral("EditSerial"), QStringLiteral("56765"), 0, serial);
  editSerial_->setGeometry(10, 24, 100, 22);
  auto* serialButton =
      makeButton(QStringLiteral("ButtonSerial"), QStringLiteral("Send instruction"),
                 QRect(118, 21, 102, 28), serial);
  connect(serialButton, &QPushButton::clicked, this, &GeneralPage::ButtonSerialClick);

  auto* type = makeGroup(QStringLiteral("GroupBoxType"), QStringLiteral(" Set Type "),
                         QRect(246, 96, 230, 60), this);
  editType_ = makeEdit(QStringLiteral("EditType"), QStringLiteral("7058"), 0, type);
  editType_->setGeometry(10, 24, 100, 22);
  auto* typeButton = makeButton(QStringLiteral("ButtonType"), QStringLiteral("Send instruction"),
                                QRect(118, 21, 102, 28), type);
  connect(typeButton, &QPushButton::clicked, this, &GeneralPage::ButtonTypeClick);

  auto* userText = makeGroup(QStringLiteral("GroupBoxUserText"), QStringLiteral(" Set User Text "),
                             QRect(246, 164, 230, 60), this);
  editUT_ = makeEdit(QStringLiteral("EditUT"), QStringLiteral("My UserText"), kUserTextTypingLimit,
                     userText);
  editUT_->setGeometry(10, 24, 100, 22);
  auto* userTextButton = makeButton(QStringLiteral("ButtonUT"), QStringLiteral("Send instruction"),
                                    QRect(118, 21, 102, 28), userText);
  connect(userTextButton, &QPushButton::clicked, this, &GeneralPage::ButtonUTClick);
}

void GeneralPage::buildAddressGroup() {
  auto* group = makeGroup(QStringLiteral("GroupBoxAddresses"),
                          QStringLiteral(" Set IP Address, NetMask and Default Gateway IP "),
                          QRect(8, 232, 468, 196), this);
  const struct {
    const char* editPrefix;
    AddressEdits* edits;
    const char* texts[settings::kAddressPartCount];
    const char* button;
    const char* caption;
  } rows[] = {
      {"EditSIP", &editSIP_, {"10", "123", "13", "70"}, "ButtonSIP", "Set IP Address"},
      {"EditNM", &editNM_, {"255", "0", "0", "0"}, "ButtonNM", "Set NetMask"},
      {"EditGIP", &editGIP_, {"10", "123", "13", "1"}, "ButtonGIP", "Set Gateway IP"},
  };
  for (int r = 0; r < 3; ++r) {
    const int y = 36 + r * 54;
    for (std::size_t i = 0; i < settings::kAddressPartCount; ++i) {
      QLineEdit* edit = makeEdit(QString::fromLatin1(rows[r].editPrefix) + QString::number(i + 1),
                                 QString::fromLatin1(rows[r].texts[i]), kAddressTypingLimit, group);
      edit->setGeometry(10 + static_cast<int>(i) * 50, y, 42, 22);
      (*rows[r].edits).at(i) = edit;
    }
    auto* button =
        makeButton(QString::fromLatin1(rows[r].button), QString::fromLatin1(rows[r].caption),
                   QRect(216, y - 3, 130, 28), group);
    connect(button, &QPushButton::clicked, this, [this, r] { sendAddressRow(r); });
  }
}

void GeneralPage::buildNcoGroup() {
  auto* group = makeGroup(QStringLiteral("GroupBoxNCO"), QStringLiteral(" Set NCO "),
                          QRect(484, 28, 228, 196), this);
  for (std::size_t i = 0; i < settings::kNcoCount; ++i) {
    const int y = 22 + static_cast<int>(i) * 32;
    editNCO_.at(i) =
        makeEdit(QStringLiteral("EditNCO%1").arg(i + 1), QStringLiteral("1000000"), 0, group);
    editNCO_.at(i)->setGeometry(10, y, 100, 22);
    const int channel = static_cast<int>(i) + 1;
    auto* button =
        makeButton(QStringLiteral("ButtonNCO%1").arg(channel),
                   QStringLiteral("Set NCO %1").arg(channel), QRect(118, y - 3, 100, 28), group);
    connect(button, &QPushButton::clicked, this, [this, channel] { ButtonNCOClick(channel); });
  }
  auto* note =
      makeLabel(QStringLiteral("Label11"),
                QStringLiteral("Values are in Hz. Min = 120 Hz, Max = 62500000 Hz."), group);
  note->setWordWrap(true);
  note->setGeometry(10, 152, 208, 36);
}

void GeneralPage::buildStatusPanel() {
  panelGS_ = new Panel(QStringLiteral("PanelGS"), Panel::Bevel::Lowered, this);
  panelGS_->setGeometry(8, 444, 704, 34);
  labelGS_ = makeLabel(QStringLiteral("LabelGS"), QStringLiteral("Status"), panelGS_);
  labelGS_->setAlignment(Qt::AlignCenter);
  labelGS_->setGeometry(2, 2, 700, 30);
}

void GeneralPage::ScrollBarResetScroll(int position) {
  labelReset_->setText(QString::fromLatin1(resetTimeCaption(position)));
}

void GeneralPage::showStatus(const PanelUpdate& update) {
  if (update.text) labelGS_->setText(fromLatin1(*update.text));
  panelGS_->setFaceColour(pageColour(update.colour));
}

// Each button converts its entries, writes back what it is about to send, and hands the
// frame to the page's transactions.

void GeneralPage::ButtonSerialClick() {
  if (!logic_) return;
  const GeneralRequest request = buildSetSerial(latin1(editSerial_->text()));
  editSerial_->setText(fromLatin1(request.rewritten.at(0)));
  logic_->send(request);
}

void GeneralPage::ButtonTypeClick() {
  if (!logic_) return;
  const GeneralRequest request = buildSetType(latin1(editType_->text()));
  editType_->setText(fromLatin1(request.rewritten.at(0)));
  logic_->send(request);
}

void GeneralPage::ButtonResetClick() {
  if (!logic_) return;
  logic_->send(buildReset(radioGroupReset_->itemIndex(), scrollBarReset_->value()));
}

void GeneralPage::ButtonUTClick() {
  if (!logic_) return;
  logic_->send(buildSetUserText(latin1(editUT_->text())));
}

void GeneralPage::ButtonSIPClick() { sendAddressRow(0); }
void GeneralPage::ButtonNMClick() { sendAddressRow(1); }
void GeneralPage::ButtonGIPClick() { sendAddressRow(2); }

void GeneralPage::sendAddressRow(int row) {
  if (!logic_) return;
  static constexpr vexil::AddressRow kRows[] = {vexil::AddressRow::Ip, vexil::AddressRow::NetMask,
                                                vexil::AddressRow::Gateway};
  const AddressEdits& edits = row == 0 ? editSIP_ : row == 1 ? editNM_ : editGIP_;
  AddressTexts texts;
  for (std::size_t i = 0; i < texts.size(); ++i) texts[i] = latin1(edits.at(i)->text());
  const GeneralRequest request = buildSetAddress(kRows[row], texts);
  for (std::size_t i = 0; i < edits.size(); ++i)
    edits.at(i)->setText(fromLatin1(request.rewritten.at(i)));
  logic_->send(request);
}

void GeneralPage::ButtonNCOClick(int channel) {
  if (!logic_) return;
  QLineEdit* edit = editNCO_.at(static_cast<std::size_t>(channel - 1));
  const GeneralRequest request = buildSetNco(channel, latin1(edit->text()));
  edit->setText(fromLatin1(request.rewritten.at(0)));
  logic_->send(request);
}

void GeneralPage::loadSettings(const settings::StoredSettings& values) {
  editSerial_->setText(QString::fromLatin1(values.serial));
  editType_->setText(QString::fromLatin1(values.type));
  radioGroupReset_->setItemIndex(values.resetType);
  scrollBarReset_->setValue(settings::clampToRange(values.resetTime, kResetTimeMin, kResetTimeMax));
  ScrollBarResetScroll(scrollBarReset_->value());
  editUT_->setText(QString::fromLatin1(values.userText));
  for (std::size_t i = 0; i < settings::kAddressPartCount; ++i) {
    editSIP_.at(i)->setText(QString::fromLatin1(values.ip.at(i)));
  }
  for (std::size_t i = 0; i < settings::kAddressPartCount; ++i) {
    editNM_.at(i)->setText(QString::fromLatin1(values.netMask.at(i)));
  }
  for (std::size_t i = 0; i < settings::kAddressPartCount; ++i) {
    editGIP_.at(i)->setText(QString::fromLatin1(values.gatewayIp.at(i)));
  }
  for (std::size_t i = 0; i < settings::kNcoCount; ++i) {
    editNCO_.at(i)->setText(QString::fromLatin1(values.nco.at(i)));
  }
}

void GeneralPage::saveSettings(settings::StoredSettings& values) const {
  const auto text = [](const QLineEdit* edit) { return edit->text().toLatin1().toStdString(); };
  values.serial = text(editSerial_);
  values.type = text(editType_);
  values.resetType = radioGroupReset_->itemIndex();
  values.resetTime = scrollBarReset_->value();
  values.userText = text(editUT_);
  for (std::size_t i = 0; i < settings::kAddressPartCount; ++i) {
    values.ip.at(i) = text(editSIP_.at(i));
    values.netMask.at(i) = text(editNM_.at(i));
    values.gatewayIp.at(i) = text(editGIP_.at(i));
  }
  for (std::size_t i = 0; i < settings::kNcoCount; ++i) values.nco.at(i) = text(editNCO_.at(i));
}

}  // namespace vexil::app
