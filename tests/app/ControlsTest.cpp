// The control kinds of the pages where Qt's own widgets differ from what the pages
// need: typing limits, radio groups without a selection, the horizontal spinner,
// memos of lines and panels with a run-time face.
#include <algorithm>
#include <cstdlib>

#include <QApplication>
#include <QClipboard>
#include <QRadioButton>
#include <QSignalSpy>
#include <QWheelEvent>
#include <QtTest>

#include "app/Appearance.h"
#include "app/Controls.h"
#include "app/Pictures.h"
#include "app/UpDown.h"

using namespace vexil::app;

class ControlsTest : public QObject {
  Q_OBJECT
 private slots:
  void typingStopsAtTheLimit();
  void programTextLongerThanTheLimitStaysWhole();
  void pasteIsCutToTheRoomLeft();
  void editWithoutLimitTakesAnything();

  void radioGroupStartsEmptyAndClampsIndexes_data();
  void radioGroupStartsEmptyAndClampsIndexes();
  void radioGroupCanLoseItsSelectionAndReportsIt();
  void radioGroupFillsColumnsInOrder();

  void upDownStopsAtItsEnds();
  void upDownArrowsKeysAndMouse();
  void upDownPositionSetByProgramIsClampedAndSilent();

  void memoKeepsEmptyAndBlankLinesApart();
  void memoClearedHoldsNoLine();

  void panelFaceAndCaption();

  void backdropPaintedInBandsMatchesOnePiece();
};

// ---- Typing limits -------------------------------------------------------------

void ControlsTest::typingStopsAtTheLimit() {
  QWidget parent;
  QLineEdit* edit = makeEdit(QStringLiteral("EditOC1"), QString(), 3, &parent);
  parent.show();
  edit->setFocus();
  QTest::keyClicks(edit, QStringLiteral("$1FF"));
  QCOMPARE(edit->text(), QStringLiteral("$1F"));
  // Typing in the middle of a full box changes nothing either.
  edit->setCursorPosition(1);
  QTest::keyClick(edit, 'A');
  QCOMPARE(edit->text(), QStringLiteral("$1F"));
  // Replacing a selection keeps within the limit and is allowed.
  edit->selectAll();
  QTest::keyClicks(edit, QStringLiteral("12"));
  QCOMPARE(edit->text(), QStringLiteral("12"));
  QCOMPARE(typingLimitOf(edit), 3);
}

void ControlsTest::programTextLongerThanTheLimitStaysWhole() {
  QWidget parent;
  QLineEdit* edit = makeEdit(QStringLiteral("EditUT"), QString(), 15, &parent);
  parent.show();
  const QString seventeen = QStringLiteral("ABCDEFGHIJKLMNOPQ");
  edit->setText(seventeen);
  QCOMPARE(edit->text(), seventeen);
  edit->setFocus();
  edit->end(false);
  // Longer than the limit already: typing more is refused, shortening is allowed.
  QTest::keyClick(edit, 'Z');
  QCOMPARE(edit->text(), seventeen);
  QTest::keyClick(edit, Qt::Key_Backspace);
  QCOMPARE(edit->text(), seventeen.left(16));
  QTest::keyClick(edit, 'Z');
  QCOMPARE(edit->text(), seventeen.left(16));
  // A second program-set text is again taken whole.
  edit->setText(seventeen + seventeen);
  QCOMPARE(edit->text(), seventeen + seventeen);
}

void ControlsTest::pasteIsCutToTheRoomLeft() {
  QWidget parent;
  QLineEdit* edit = makeEdit(QStringLiteral("EditNM1"), QStringLiteral("1"), 3, &parent);
  parent.show();
  QApplication::clipboard()->setText(QStringLiteral("23456"));
  edit->setFocus();
  edit->end(false);
  edit->paste();
  QCOMPARE(edit->text(), QStringLiteral("123"));
  edit->setCursorPosition(0);
  edit->paste();
  QCOMPARE(edit->text(), QStringLiteral("123"));
}

void ControlsTest::editWithoutLimitTakesAnything() {
  QWidget parent;
  QLineEdit* edit = makeEdit(QStringLiteral("Edit1"), QString(), 0, &parent);
  parent.show();
  edit->setFocus();
  QTest::keyClicks(edit, QStringLiteral("Quenthaven Bt. and more"));
  QCOMPARE(edit->text(), QStringLiteral("Quenthaven Bt. and more"));
  QCOMPARE(typingLimitOf(edit), 0);
  QCOMPARE(edit->objectName(), QStringLiteral("Edit1"));
}

// ---- Radio groups --------------------------------------------------------------

void ControlsTest::radioGroupStartsEmptyAndClampsIndexes_data() {
  QTest::addColumn<int>("stored");
  QTest::addColumn<int>("shown");
  QTest::newRow("first") << 0 << 0;
  QTest::newRow("last") << 2 << 2;
  QTest::newRow("one past the end becomes last") << 3 << 2;
  QTest::newRow("far past the end becomes last") << 2147483647 << 2;
  QTest::newRow("minus one selects nothing") << -1 << -1;
  QTest::newRow("below minus one selects nothing") << -5 << -1;
  QTest::newRow("most negative selects nothing") << (-2147483647 - 1) << -1;
}

void ControlsTest::radioGroupStartsEmptyAndClampsIndexes() {
  QFETCH(int, stored);
  QFETCH(int, shown);
  RadioGroup group(QStringLiteral("RadioGroupReset"), QStringLiteral(" Reset Type "),
                   {QStringLiteral("PDI Reset"), QStringLiteral("System Reset"),
                    QStringLiteral("SDI Reset")},
                   1, nullptr);
  QCOMPARE(group.itemIndex(), -1);
  group.setItemIndex(stored);
  QCOMPARE(group.itemIndex(), shown);
  int checked = 0;
  for (int i = 0; i < group.count(); ++i) checked += group.item(i)->isChecked() ? 1 : 0;
  QCOMPARE(checked, shown < 0 ? 0 : 1);
}

void ControlsTest::radioGroupCanLoseItsSelectionAndReportsIt() {
  RadioGroup group(QStringLiteral("RadioGroupAP"), QStringLiteral("ACK Protocoll"),
                   {QStringLiteral("QV-Net"), QStringLiteral("Palvox")}, 1, nullptr);
  QSignalSpy changed(&group, &RadioGroup::itemIndexChanged);
  group.setItemIndex(1);
  group.setItemIndex(-1);
  QCOMPARE(group.itemIndex(), -1);
  QVERIFY(!group.item(0)->isChecked() && !group.item(1)->isChecked());
  // Still exclusive afterwards: choosing one item unchecks the other.
  group.item(0)->click();
  group.item(1)->click();
  QCOMPARE(group.itemIndex(), 1);
  QVERIFY(!group.item(0)->isChecked());
  QCOMPARE(changed.count(), 4);
  QCOMPARE(changed.at(1).at(0).toInt(), -1);
  QCOMPARE(changed.last().at(0).toInt(), 1);
}

void ControlsTest::radioGroupFillsColumnsInOrder() {
  QStringList numbers;
  for (int n = 1; n <= 7; ++n) numbers << QString::number(n);
  RadioGroup group(QStringLiteral("RadioGroupPN"), QStringLiteral(" Packet Number "), numbers, 7,
                   nullptr);
  group.resize(276, 44);
  group.show();
  QVERIFY(QTest::qWaitForWindowExposed(&group));
  for (int i = 1; i < group.count(); ++i) {
    QCOMPARE(group.item(i)->text(), numbers.at(i));
    QCOMPARE(group.item(i)->y(), group.item(0)->y());
    QVERIFY(group.item(i)->x() > group.item(i - 1)->x());
  }
  QCOMPARE(group.item(3)->objectName(), QStringLiteral("RadioGroupPNItem3"));
}

// ---- The spinner ---------------------------------------------------------------

void ControlsTest::upDownStopsAtItsEnds() {
  UpDown spinner(QStringLiteral("UpDownIP"), 0, 255, 254, nullptr);
  QSignalSpy clicked(&spinner, &UpDown::clicked);
  spinner.stepBy(+1);
  QCOMPARE(spinner.position(), 255);
  spinner.stepBy(+1);
  QCOMPARE(spinner.position(), 255);
  QVERIFY(!(spinner.stepEnabled() & QAbstractSpinBox::StepUpEnabled));
  spinner.setPosition(1);
  spinner.stepBy(-1);
  spinner.stepBy(-1);
  QCOMPARE(spinner.position(), 0);
  QVERIFY(!(spinner.stepEnabled() & QAbstractSpinBox::StepDownEnabled));
  QVERIFY(spinner.stepEnabled() & QAbstractSpinBox::StepUpEnabled);
  // No wrap-around from either end, even for large steps.
  spinner.stepBy(-1000);
  QCOMPARE(spinner.position(), 0);
  spinner.stepBy(1000);
  QCOMPARE(spinner.position(), 255);
  QCOMPARE(clicked.count(), 6);
  QCOMPARE(clicked.last().at(0).toInt(), 255);
}

void ControlsTest::upDownArrowsKeysAndMouse() {
  UpDown spinner(QStringLiteral("UpDownIP"), 0, 255, 70, nullptr);
  spinner.resize(40, 22);
  spinner.show();
  QVERIFY(QTest::qWaitForWindowExposed(&spinner));
  QTest::mouseClick(&spinner, Qt::LeftButton, {}, QPoint(30, 11));  // right arrow
  QCOMPARE(spinner.position(), 71);
  QTest::mouseClick(&spinner, Qt::LeftButton, {}, QPoint(5, 11));  // left arrow
  QTest::mouseClick(&spinner, Qt::LeftButton, {}, QPoint(5, 11));
  QCOMPARE(spinner.position(), 69);
  QTest::keyClick(&spinner, Qt::Key_Right);
  QTest::keyClick(&spinner, Qt::Key_Up);
  QCOMPARE(spinner.position(), 71);
  QTest::keyClick(&spinner, Qt::Key_Left);
  QCOMPARE(spinner.position(), 70);
  // The value cannot be typed.
  QTest::keyClicks(&spinner, QStringLiteral("12"));
  QCOMPARE(spinner.position(), 70);
  // A wheel notch steps by one, also with Ctrl held (no larger steps).
  const auto wheel = [&](int delta, Qt::KeyboardModifiers modifiers) {
    QWheelEvent event(QPointF(20, 11), QPointF(spinner.mapToGlobal(QPoint(20, 11))), QPoint(),
                      QPoint(0, delta), Qt::NoButton, modifiers, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&spinner, &event);
  };
  wheel(120, Qt::ControlModifier);
  QCOMPARE(spinner.position(), 71);
  wheel(-120, Qt::NoModifier);
  wheel(-240, Qt::ControlModifier);
  QCOMPARE(spinner.position(), 69);
}

void ControlsTest::upDownPositionSetByProgramIsClampedAndSilent() {
  UpDown spinner(QStringLiteral("UpDownIP"), 0, 255, 300, nullptr);
  QCOMPARE(spinner.position(), 255);
  QSignalSpy clicked(&spinner, &UpDown::clicked);
  spinner.setPosition(-4);
  QCOMPARE(spinner.position(), 0);
  spinner.setPosition(16);
  QCOMPARE(spinner.position(), 16);
  QCOMPARE(clicked.count(), 0);
}

// ---- Memos ---------------------------------------------------------------------

void ControlsTest::memoKeepsEmptyAndBlankLinesApart() {
  Memo memo(QStringLiteral("MemoInfo"), QStringLiteral("Set IP Address and press Query!"),
            nullptr);
  QCOMPARE(memo.lines(), QStringList{QStringLiteral("Set IP Address and press Query!")});
  QVERIFY(memo.isReadOnly());
  memo.clearLines();
  memo.appendLine(QString());
  memo.appendLine(QStringLiteral(" "));
  memo.appendLine(QString());
  memo.appendLine(QStringLiteral("Device Version: 1.05"));
  QCOMPARE(memo.lines(), (QStringList{QString(), QStringLiteral(" "), QString(),
                                      QStringLiteral("Device Version: 1.05")}));
  QCOMPARE(memo.lineCount(), 4);
}

void ControlsTest::memoClearedHoldsNoLine() {
  Memo memo(QStringLiteral("MemoIns"), QStringLiteral("Instruction Set Tester"), nullptr);
  memo.clearLines();
  QCOMPARE(memo.lineCount(), 0);
  QVERIFY(memo.lines().isEmpty());
  memo.appendLine(QString());
  QCOMPARE(memo.lineCount(), 1);
  QCOMPARE(memo.lines(), QStringList{QString()});
}

// ---- Panels --------------------------------------------------------------------

void ControlsTest::panelFaceAndCaption() {
  Panel panel(QStringLiteral("PanelTS"), Panel::Bevel::Lowered, nullptr);
  QCOMPARE(panel.faceColour(), buttonFace());
  QVERIFY(panel.caption().isEmpty());
  QVERIFY(panel.autoFillBackground());
  QCOMPARE(panel.frameShadow(), QFrame::Sunken);
  panel.setCaption(QStringLiteral("ACK Received!"));
  panel.setFaceColour(QColor(kSuccessRgb));
  QCOMPARE(panel.caption(), QStringLiteral("ACK Received!"));
  QCOMPARE(panel.faceColour(), QColor(0xC0, 0xDC, 0xC0));
  panel.setButtonFace();
  QCOMPARE(panel.faceColour(), buttonFace());
}

// ---- Pictures ------------------------------------------------------------------

namespace {
// The largest difference of any colour channel between two images of one size.
int largestChannelDifference(const QImage& a, const QImage& b) {
  int largest = 0;
  for (int y = 0; y < a.height(); ++y) {
    for (int x = 0; x < a.width(); ++x) {
      const QRgb p = a.pixel(x, y);
      const QRgb q = b.pixel(x, y);
      largest = std::max({largest, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                          std::abs(qBlue(p) - qBlue(q))});
    }
  }
  return largest;
}
}  // namespace

// The backdrop paints only the bands it is asked for (the page panel covers the rest),
// so its gradient and grid must line up whatever bands the window system exposes. The
// gradient may round one step differently where a span starts; a grid line out of
// place differs by several.
void ControlsTest::backdropPaintedInBandsMatchesOnePiece() {
  Backdrop backdrop(nullptr);
  backdrop.resize(101, 77);  // not a multiple of the grid's step
  QImage whole(backdrop.size(), QImage::Format_ARGB32);
  whole.fill(Qt::black);
  backdrop.render(&whole);

  QImage pieces(backdrop.size(), QImage::Format_ARGB32);
  pieces.fill(Qt::black);
  const QRect bands[] = {{0, 0, 101, 7},  {0, 7, 5, 63},  {5, 7, 96, 31},
                         {5, 38, 96, 32}, {0, 70, 40, 7}, {40, 70, 61, 7}};
  for (const QRect& band : bands) backdrop.render(&pieces, band.topLeft(), QRegion(band));
  QVERIFY(largestChannelDifference(pieces, whole) <= 1);

  // A band alone leaves the rest untouched.
  QImage one(backdrop.size(), QImage::Format_ARGB32);
  one.fill(Qt::black);
  backdrop.render(&one, QPoint(5, 38), QRegion(5, 38, 30, 20));
  QCOMPARE(one.pixel(4, 38), QColor(Qt::black).rgba());
  QCOMPARE(one.pixel(35, 38), QColor(Qt::black).rgba());
  QVERIFY(largestChannelDifference(one.copy(5, 38, 30, 20), whole.copy(5, 38, 30, 20)) <= 1);
}

QTEST_MAIN(ControlsTest)
#include "ControlsTest.moc"
