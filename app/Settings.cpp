#include "app/Settings.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

#include "app/Appearance.h"
#include "app/Controls.h"
#include "instructions/PortEntry.h"
#include "messaging/IntegerText.h"
#include "messaging/TransactionEngine.h"

namespace vexil::app {

namespace {

constexpr int kClientWidth = 330;
constexpr int kClientHeight = 236;
const QString kPrompt = QStringLiteral("Enter new port number (1..65534)!");
const QString kInvalidPort = QStringLiteral("Invalid port number!");
const QString kDefaultPortText = QString::number(vexil::wire::kDefaultPort);

// A dialog button that Enter does not press on its own.
QPushButton* makeDialogButton(const QString& name, const QString& caption,
                              const QRect& geometry, QWidget* parent) {
  QPushButton* button = makeButton(name, caption, geometry, parent);
  button->setAutoDefault(false);
  return button;
}

}  // namespace

}  // namespace vexil::app

using namespace vexil::app;

TSettingsForm::TSettingsForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint) {
  setObjectName(QStringLiteral("SettingsForm"));
  setWindowTitle(QStringLiteral("Settings"));
  setFont(tahoma());
  setFixedSize(kClientWidth, kClientHeight);

  auto* platform = new QGroupBox(QStringLiteral("Platform Settings"), this);
  platform->setObjectName(QStringLiteral("GroupBoxPS"));
  platform->setGeometry(8, 8, 314, 52);
  checkBoxSSOE_ = new QCheckBox(QStringLiteral("Save Settings On Exit"), platform);
  checkBoxSSOE_->setObjectName(QStringLiteral("CheckBoxSSOE"));
  checkBoxSSOE_->setGeometry(12, 22, 280, 20);
  checkBoxSSOE_->setChecked(true);

  auto* network = new QGroupBox(QStringLiteral("Network Settings"), this);
  network->setObjectName(QStringLiteral("GroupBoxNetwork"));
  network->setGeometry(8, 68, 314, 96);
  makeLabel(QStringLiteral("Label1"), QStringLiteral("Host Computer Port:"), network)
      ->setGeometry(12, 28, 120, 18);
  labelHP_ = makeLabel(QStringLiteral("LabelHP"), kDefaultPortText, network);
  labelHP_->setGeometry(140, 28, 70, 18);
  auto* change1 = makeDialogButton(QStringLiteral("ButtonCh1"), QStringLiteral("Change"),
                             QRect(220, 23, 80, 26), network);
  makeLabel(QStringLiteral("Label2"), QStringLiteral("Device Port:"), network)
      ->setGeometry(12, 62, 120, 18);
  labelDP_ = makeLabel(QStringLiteral("LabelDP"), kDefaultPortText, network);
  labelDP_->setGeometry(140, 62, 70, 18);
  auto* change2 = makeDialogButton(QStringLiteral("ButtonCh2"), QStringLiteral("Change"),
                             QRect(220, 57, 80, 26), network);

  auto* save = makeDialogButton(QStringLiteral("BitBtnSaveS"), QStringLiteral("Save"),
                          QRect(8, 196, 96, 30), this);
  auto* cancel = makeDialogButton(QStringLiteral("BitBtnCancel"), QStringLiteral("Cancel"),
                            QRect(112, 196, 96, 30), this);
  auto* restore = makeDialogButton(QStringLiteral("ButtonRD"), QStringLiteral("Restore Default"),
                             QRect(216, 196, 106, 30), this);

  connect(change1, &QPushButton::clicked, this, &TSettingsForm::ButtonCh1Click);
  connect(change2, &QPushButton::clicked, this, &TSettingsForm::ButtonCh2Click);
  connect(restore, &QPushButton::clicked, this, &TSettingsForm::ButtonRDClick);
  connect(save, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TSettingsForm::showValues(bool saveOnExit, int hostPort, int devicePort) {
  checkBoxSSOE_->setChecked(saveOnExit);
  labelHP_->setText(QString::number(hostPort));
  labelDP_->setText(QString::number(devicePort));
}

bool TSettingsForm::saveOnExit() const { return checkBoxSSOE_->isChecked(); }

int TSettingsForm::portOf(const QLabel* label) {
  // The captions only ever hold a number this dialog or its caller wrote.
  return vexil::parseIntegerText(label->text().toLatin1().toStdString())
      .value_or(vexil::wire::kDefaultPort);
}

int TSettingsForm::hostPort() const { return portOf(labelHP_); }

int TSettingsForm::devicePort() const { return portOf(labelDP_); }

void TSettingsForm::ButtonCh1Click() {
  changePort(labelHP_, QStringLiteral("Host Comuter Port"));
}

void TSettingsForm::ButtonCh2Click() { changePort(labelDP_, QStringLiteral("Device Port")); }

void TSettingsForm::changePort(QLabel* label, const QString& promptCaption) {
  bool ok = false;
  const QString entry =
      QInputDialog::getText(this, promptCaption, kPrompt, QLineEdit::Normal, QString(), &ok);
  if (!ok) return;
  const std::optional<int> port = vexil::takePortEntry(entry.toLatin1().toStdString());
  if (!port) {
    QMessageBox::information(this, kApplicationTitle, kInvalidPort);
    return;
  }
  label->setText(QString::number(*port));
}

void TSettingsForm::ButtonRDClick() {
  checkBoxSSOE_->setChecked(true);
  labelHP_->setText(kDefaultPortText);
  labelDP_->setText(kDefaultPortText);
}

