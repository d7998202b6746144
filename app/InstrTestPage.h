// The "Instruction Test" page: five instruction rows, the header's user text, the
// message buttons and the memo the dump and the answer are written to.
#pragma once

#include <QWidget>
#include <array>

#include "settings/StoredSettings.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace vexil {
class InstructionTest;
struct PageUpdate;
struct TestEntries;
struct TestMessage;
}  // namespace vexil

namespace vexil::app {

class Memo;

/// The page `TabSheetInstrTest`. A row's opcode and data boxes are enabled exactly while
/// its check box is ticked, also when the tick comes from the settings file; the length
/// boxes are always disabled. Interface thread only.
class InstrTestPage : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kRowCount = static_cast<int>(settings::kInstructionRowCount);

  explicit InstrTestPage(QWidget* parent = nullptr);

  /// Fills the rows from `values`: ticks first, then opcodes, lengths, data. `Edit1`
  /// keeps its design text (its key is written only).
  void loadSettings(const settings::StoredSettings& values);
  /// Copies the rows and the user text into `values`.
  void saveSettings(settings::StoredSettings& values) const;

  // The controls of row `row` (0..4).
  QCheckBox* checkBox(int row) const { return rows_.at(row).check; }
  QLineEdit* opcodeEdit(int row) const { return rows_.at(row).opcode; }
  QLineEdit* lengthEdit(int row) const { return rows_.at(row).length; }
  QLineEdit* dataEdit(int row) const { return rows_.at(row).data; }
  QLineEdit* userTextEdit() const { return edit1_; }
  Memo* memo() const { return memoIns_; }
  QPushButton* viewButton() const { return buttonICompute_; }
  QPushButton* sendButton() const { return buttonISend_; }

  /// The page's transactions; the buttons do nothing until it is attached.
  void attach(InstructionTest* logic) { logic_ = logic; }
  /// The rows and the user text as plain 8-bit values.
  TestEntries entries() const;
  /// Writes a build back: Edit1, and the opcode, data and length boxes of ticked rows.
  void applyBuild(const TestMessage& message);
  /// One step of MemoIns.
  void showMemo(const PageUpdate& update);

 public slots:
  /// Row `row`'s check box changed: its opcode and data boxes follow the tick.
  void CheckBoxIClick(int row);
  /// "View message": builds the message and shows its bytes.
  void ButtonIComputeClick();
  /// "Send": builds, shows and sends the message.
  void ButtonISendClick();

 protected:
  /// Keys typed into the opcode and data boxes: Enter cleans the text, any other typed
  /// character marks the box; the key itself always goes on to the box.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct Row {
    QCheckBox* check = nullptr;
    QLineEdit* opcode = nullptr;
    QLineEdit* length = nullptr;
    QLineEdit* data = nullptr;
  };

  void buildRows();
  void buildLowerPart();

  std::array<Row, kRowCount> rows_{};
  QLineEdit* edit1_ = nullptr;
  QPushButton* buttonICompute_ = nullptr;
  QPushButton* buttonISend_ = nullptr;
  Memo* memoIns_ = nullptr;
  InstructionTest* logic_ = nullptr;
};

}  // namespace vexil::app
