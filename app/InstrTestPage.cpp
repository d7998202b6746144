#include "app/InstrTestPage.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/Appearance.h"
#include "app/Controls.h"
#include "app/Pictures.h"
#include "instructions/InstructionTest.h"

namespace vexil::app {

namespace {

constexpr int kOpcodeTypingLimit = 3;
constexpr int kLengthTypingLimit = 5;

// Row geometry, in pixels.
constexpr int kFirstRowY = 50;
constexpr int kRowPitch = 28;
constexpr int kRowHeight = 22;

// Design-time contents of the five rows: tick, opcode, length, data.
struct RowDesign {
  bool ticked;
  const char* opcode;
  const char* length;
  const char* data;
};
constexpr RowDesign kRowDesign[InstrTestPage::kRowCount] = {
    {true, "$00", "3", "$00,$56,$78"}, {false, "$00", "4", "0,5,6,7"}, {false, "$00", "0", "$00"},
    {false, "$00", "0", "0"},          {false, "$00", "0", "0"},
};

// Keys whose event carries a control character although they type none into the box:
// Tab and Backtab move the focus, Delete removes without typing.
bool movesOrDeletesOnly(int key) {
  return key == Qt::Key_Tab || key == Qt::Key_Backtab || key == Qt::Key_Delete;
}

QString rowName(const char* prefix, int row) {
  return QString::fromLatin1(prefix) + QString::number(row + 1);
}

}  // namespace

InstrTestPage::InstrTestPage(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("TabSheetInstrTest"));
  auto* heading =
      makeLabel(QStringLiteral("LabelInstrTest"), QStringLiteral("Instruction Test"), this);
  heading->setFont(tahoma(kLargePointSize, true));
  heading->setGeometry(10, 6, 300, 20);
  buildRows();
  buildLowerPart();
}

void InstrTestPage::buildRows() {
  // The coloured columns sit behind the opcode and length boxes.
  auto* opcodePanel = new Panel(QStringLiteral("PanelOpcode"), Panel::Bevel::None, this);
  opcodePanel->setFaceColour(QColor(kOpcodeColumnRgb));
  opcodePanel->setGeometry(96, 28, 64, kFirstRowY - 28 + kRowCount * kRowPitch + 4);
  auto* lengthPanel = new Panel(QStringLiteral("PanelLength"), Panel::Bevel::None, this);
  lengthPanel->setFaceColour(QColor(kLengthColumnRgb));
  lengthPanel->setGeometry(166, 28, 70, kFirstRowY - 28 + kRowCount * kRowPitch + 22);
  auto* autoLabel = makeLabel(QStringLiteral("Label9"), QStringLiteral("Auto"), lengthPanel);
  autoLabel->setAlignment(Qt::AlignCenter);
  QPalette autoPalette = autoLabel->palette();
  autoPalette.setColor(QPalette::WindowText, QColor(kAutoLabelRgb));
  autoLabel->setPalette(autoPalette);
  autoLabel->setGeometry(0, lengthPanel->height() - 20, lengthPanel->width(), 16);

  const struct {
    const char* name;
    const char* caption;
    int x;
  } headings[] = {{"LabelColInstruction", "Instruction", 14},
                  {"LabelColOpcode", "Opcode", 106},
                  {"LabelColLength", "Length", 180},
                  {"LabelColData", "Data bytes", 250}};
  for (const auto& heading : headings) {
    auto* label =
        makeLabel(QString::fromLatin1(heading.name), QString::fromLatin1(heading.caption), this);
    label->setFont(tahoma(kDefaultPointSize, true));
    label->setGeometry(heading.x, 30, 80, 16);
  }

  for (int row = 0; row < kRowCount; ++row) {
    const RowDesign& design = kRowDesign[row];
    const int y = kFirstRowY + row * kRowPitch;
    Row& r = rows_.at(row);
    r.check = new QCheckBox(QStringLiteral("%1.").arg(row + 1), this);
    r.check->setObjectName(rowName("CheckBoxI", row));
    r.check->setGeometry(20, y, 60, kRowHeight);
    r.opcode = makeEdit(rowName("EditOC", row), QString::fromLatin1(design.opcode),
                        kOpcodeTypingLimit, this);
    r.opcode->setGeometry(104, y, 48, kRowHeight);
    r.length = makeEdit(rowName("EditL", row), QString::fromLatin1(design.length),
                        kLengthTypingLimit, this);
    r.length->setGeometry(176, y, 50, kRowHeight);
    r.length->setEnabled(false);
    r.data = makeEdit(rowName("EditData", row), QString::fromLatin1(design.data), 0, this);
    r.data->setGeometry(250, y, 330, kRowHeight);
    r.opcode->installEventFilter(this);
    r.data->installEventFilter(this);
    // toggled also fires when the program ticks the box, so loading keeps rows in step.
    connect(r.check, &QCheckBox::toggled, this, [this, row] { CheckBoxIClick(row); });
    r.check->setChecked(design.ticked);
    CheckBoxIClick(row);
  }
}

void InstrTestPage::buildLowerPart() {
  auto* picture = new BytesPicture(this);
  picture->setObjectName(QStringLiteral("ImageInstrTest"));
  picture->setGeometry(600, 30, 112, 112);

  auto* userTextPanel = new Panel(QStringLiteral("PanelUserText"), Panel::Bevel::None, this);
  userTextPanel->setFaceColour(QColor(kSilverRgb));
  userTextPanel->setGeometry(8, 226, 380, 34);
  auto* label8 =
      makeLabel(QStringLiteral("Label8"), QStringLiteral("User Text (Max. 15):"), userTextPanel);
  label8->setGeometry(8, 8, 120, 18);
  edit1_ = makeEdit(QStringLiteral("Edit1"), QStringLiteral("Quenthaven Bt."), 0, userTextPanel);
  edit1_->setGeometry(132, 6, 236, 22);

  buttonICompute_ = new QPushButton(QStringLiteral("View message"), this);
  buttonICompute_->setObjectName(QStringLiteral("ButtonICompute"));
  buttonICompute_->setGeometry(400, 228, 110, 30);
  buttonISend_ = new QPushButton(QStringLiteral("Send"), this);
  buttonISend_->setObjectName(QStringLiteral("ButtonISend"));
  buttonISend_->setGeometry(520, 228, 110, 30);
  connect(buttonICompute_, &QPushButton::clicked, this, &InstrTestPage::ButtonIComputeClick);
  connect(buttonISend_, &QPushButton::clicked, this, &InstrTestPage::ButtonISendClick);

  memoIns_ = new Memo(QStringLiteral("MemoIns"), QStringLiteral("Instruction Set Tester"), this);
  memoIns_->setFont(courierNew(kMemoInsPointSize));
  memoIns_->setGeometry(8, 268, 704, 210);
}

void InstrTestPage::CheckBoxIClick(int row) {
  const Row& r = rows_.at(row);
  const bool ticked = r.check->isChecked();
  r.opcode->setEnabled(ticked);
  r.data->setEnabled(ticked);
}

void InstrTestPage::loadSettings(const settings::StoredSettings& values) {
  for (int row = 0; row < kRowCount; ++row) {
    rows_.at(row).check->setChecked(values.rows.at(row).enabled);
  }
  for (int row = 0; row < kRowCount; ++row) {
    rows_.at(row).opcode->setText(QString::fromLatin1(values.rows.at(row).opCode));
  }
  for (int row = 0; row < kRowCount; ++row) {
    rows_.at(row).length->setText(QString::fromLatin1(values.rows.at(row).length));
  }
  for (int row = 0; row < kRowCount; ++row) {
    rows_.at(row).data->setText(QString::fromLatin1(values.rows.at(row).instruction));
  }
}

void InstrTestPage::saveSettings(settings::StoredSettings& values) const {
  for (int row = 0; row < kRowCount; ++row) {
    settings::InstructionRowSettings& stored = values.rows.at(row);
    const Row& r = rows_.at(row);
    stored.enabled = r.check->isChecked();
    stored.opCode = r.opcode->text().toLatin1().toStdString();
    stored.length = r.length->text().toLatin1().toStdString();
    stored.instruction = r.data->text().toLatin1().toStdString();
  }
  values.instructionTestUserText = edit1_->text().toLatin1().toStdString();
}

TestEntries InstrTestPage::entries() const {
  TestEntries e;
  for (std::size_t row = 0; row < kTestRowCount; ++row) {
    const Row& r = rows_.at(row);
    e.rows[row] = {r.check->isChecked(), latin1(r.opcode->text()), latin1(r.data->text())};
  }
  e.userText = latin1(edit1_->text());
  return e;
}

void InstrTestPage::applyBuild(const TestMessage& message) {
  // A text of 15 characters or fewer stays as it was typed (characters outside Latin-1
  // included); a longer one is cut to its first 15.
  if (message.userTextCut) edit1_->setText(edit1_->text().left(static_cast<int>(wire::kUserTextLength)));
  for (std::size_t row = 0; row < kTestRowCount; ++row) {
    if (!message.rows[row]) continue;
    const Row& r = rows_.at(row);
    r.opcode->setText(fromLatin1(message.rows[row]->opcode));
    r.data->setText(fromLatin1(message.rows[row]->data));
    r.length->setText(fromLatin1(message.rows[row]->length));
  }
}

void InstrTestPage::showMemo(const PageUpdate& update) {
  if (update.clearMemo) memoIns_->clearLines();
  for (const std::string& line : update.lines) memoIns_->appendLine(fromLatin1(line));
}

void InstrTestPage::ButtonIComputeClick() {
  if (logic_) applyBuild(logic_->view(entries()));
}

void InstrTestPage::ButtonISendClick() {
  if (logic_) applyBuild(logic_->send(entries()));
}

bool InstrTestPage::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress) return QWidget::eventFilter(watched, event);
  for (const Row& r : rows_) {
    const bool opcode = watched == r.opcode;
    if (!opcode && watched != r.data) continue;
    QLineEdit* edit = opcode ? r.opcode : r.data;
    const auto* key = static_cast<QKeyEvent*>(event);
    TestKey kind = TestKey::Other;
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
      kind = TestKey::Enter;
    } else if (key->key() == Qt::Key_Backspace ||
               (!key->text().isEmpty() && !movesOrDeletesOnly(key->key()))) {
      kind = TestKey::Character;
    }
    const std::string text = latin1(edit->text());
    const KeyEffect effect = opcode ? opcodeKey(kind, text) : dataKey(kind, text);
    if (effect.text) edit->setText(fromLatin1(*effect.text));
    if (effect.colour) setEditColour(edit, pageColour(*effect.colour));
    break;
  }
  return false;  // the key always goes on to the box
}

}  // namespace vexil::app
