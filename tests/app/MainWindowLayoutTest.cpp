// The main window's make-up: client area, pages and tabs, and every named control with
// its kind, caption, items, limits, enabled state, font and colour, lying wholly inside
// its page.
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTabBar>
#include <QTabWidget>
#include <QtTest>

#include "app/Appearance.h"
#include "app/Controls.h"
#include "app/UpDown.h"
#include "app/VexilDevPf.h"
#include "tests/app/AppTestSupport.h"

using namespace vexil::app;
using namespace vexil::app::test;

namespace {

/// The caption or text a control shows at start.
QString textOf(const QWidget* widget) {
  if (const auto* label = qobject_cast<const QLabel*>(widget)) return label->text();
  if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) return button->text();
  if (const auto* edit = qobject_cast<const QLineEdit*>(widget)) return edit->text();
  if (const auto* group = qobject_cast<const QGroupBox*>(widget)) return group->title();
  if (const auto* panel = qobject_cast<const Panel*>(widget)) return panel->caption();
  if (const auto* memo = qobject_cast<const Memo*>(widget)) return memo->lines().join('\n');
  return QString();
}

QString kindOf(const QWidget* widget) {
  if (qobject_cast<const RadioGroup*>(widget)) return QStringLiteral("radio");
  if (qobject_cast<const QGroupBox*>(widget)) return QStringLiteral("group");
  if (qobject_cast<const QCheckBox*>(widget)) return QStringLiteral("check");
  if (qobject_cast<const QPushButton*>(widget)) return QStringLiteral("button");
  if (qobject_cast<const QLineEdit*>(widget)) return QStringLiteral("edit");
  if (qobject_cast<const QLabel*>(widget)) return QStringLiteral("label");
  if (qobject_cast<const Memo*>(widget)) return QStringLiteral("memo");
  if (qobject_cast<const Panel*>(widget)) return QStringLiteral("panel");
  if (qobject_cast<const QScrollBar*>(widget)) return QStringLiteral("scroll");
  if (qobject_cast<const UpDown*>(widget)) return QStringLiteral("updown");
  return QStringLiteral("other");
}

}  // namespace

class MainWindowLayoutTest : public QObject {
  Q_OBJECT
 private slots:
  void initTestCase();
  void cleanupTestCase();
  void clientAreaPagesAndTabs();
  void controlsOfThePages_data();
  void controlsOfThePages();
  void typingLimits_data();
  void typingLimits();
  void radioGroupItems_data();
  void radioGroupItems();
  void scrollBarsAndSpinner();
  void fontsAndColours();
  void everyControlLiesInsideItsPage();

 private:
  std::unique_ptr<WorkingDirectory> dir_;
  std::unique_ptr<TMainForm> form_;
};

void MainWindowLayoutTest::initTestCase() {
  applyDesktopLook();  // as the program starts
  dir_ = std::make_unique<WorkingDirectory>();
  // The manufacturer page shown, and no loaded value that differs from a design text
  // that is checked below.
  dir_->writeIni("[MFSetup]\nShow=1\n[Settings]\nSaveOnExit=0\n");
  form_ = std::make_unique<TMainForm>();
  form_->show();
  QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
}

void MainWindowLayoutTest::cleanupTestCase() {
  form_.reset();
  dir_.reset();
}

void MainWindowLayoutTest::clientAreaPagesAndTabs() {
  QCOMPARE(form_->objectName(), QStringLiteral("MainForm"));
  QCOMPARE(form_->centralWidget()->size(), QSize(744, 533));
  QCOMPARE(form_->height(), 533 + form_->menuBar()->height());
  QCOMPARE(form_->minimumSize(), form_->maximumSize());  // not resizable
  QCOMPARE(form_->font().family(), QStringLiteral("Tahoma"));
  QCOMPARE(form_->font().pointSize(), 8);

  QTabWidget* pages = form_->pageControl();
  QCOMPARE(pages->objectName(), QStringLiteral("PageControl"));
  QCOMPARE(pages->tabPosition(), QTabWidget::South);
  const QStringList names{QStringLiteral("TabSheetMain"), QStringLiteral("TabSheetInstrTest"),
                          QStringLiteral("TabSheetNCO"), QStringLiteral("TabSheetSendTS"),
                          QStringLiteral("TabSheetQV")};
  const QStringList captions{QStringLiteral("Main"), QStringLiteral("Instruction Test"),
                             QStringLiteral("General"), QStringLiteral("Send TS"),
                             QStringLiteral("Manufacturer Setup")};
  QCOMPARE(pages->count(), names.size());
  for (int i = 0; i < pages->count(); ++i) {
    QCOMPARE(pages->widget(i)->objectName(), names.at(i));
    QCOMPARE(pages->tabText(i), captions.at(i));
    QVERIFY(pages->isTabVisible(i));
  }
}

void MainWindowLayoutTest::controlsOfThePages_data() {
  QTest::addColumn<QString>("name");
  QTest::addColumn<QString>("kind");
  QTest::addColumn<QString>("text");
  QTest::addColumn<bool>("enabled");
  const auto row = [](const char* name, const char* kind, const QString& text,
                      bool enabled = true) {
    QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(kind) << text
                        << enabled;
  };
  // Main page.
  row("Label1", "label", QStringLiteral("Controller information"));
  row("MemoInfo", "memo", QStringLiteral("Set IP Address and press Query!"));
  row("LabelVexilSetup", "label", QStringLiteral("Vexil Setup"));
  row("Label2", "label", QStringLiteral("IP Address:"));
  row("ButtonQuery", "button", QStringLiteral("Query"));
  row("LabelD", "label", QStringLiteral("Device:"));
  row("ButtonIPBase", "button", QStringLiteral("Change IP"));
  row("RadioGroupAP", "radio", QStringLiteral("ACK Protocoll"));
  row("UpDownIP", "updown", QString());
  // Instruction Test page (rows 1 and 2; the rest alike).
  row("CheckBoxI1", "check", QStringLiteral("1."));
  row("CheckBoxI5", "check", QStringLiteral("5."));
  row("EditOC1", "edit", QStringLiteral("$00"));
  row("EditOC2", "edit", QStringLiteral("$00"), false);
  row("EditL1", "edit", QStringLiteral("0"), false);
  row("EditData2", "edit", QStringLiteral("$00"), false);
  row("Label9", "label", QStringLiteral("Auto"));
  row("Label8", "label", QStringLiteral("User Text (Max. 15):"));
  row("Edit1", "edit", QStringLiteral("Quenthaven Bt."));
  row("ButtonICompute", "button", QStringLiteral("View message"));
  row("ButtonISend", "button", QStringLiteral("Send"));
  row("MemoIns", "memo", QStringLiteral("Instruction Set Tester"));
  // General page.
  row("GroupBoxReset", "group", QStringLiteral(" Reset "));
  row("RadioGroupReset", "radio", QStringLiteral(" Reset Type "));
  row("ScrollBarReset", "scroll", QString());
  row("ButtonReset", "button", QStringLiteral("Send Instruction"));
  row("GroupBoxSerial", "group", QStringLiteral(" Set Serial Number "));
  row("ButtonSerial", "button", QStringLiteral("Send instruction"));
  row("GroupBoxType", "group", QStringLiteral(" Set Type "));
  row("ButtonType", "button", QStringLiteral("Send instruction"));
  row("GroupBoxAddresses", "group",
      QStringLiteral(" Set IP Address, NetMask and Default Gateway IP "));
  row("ButtonSIP", "button", QStringLiteral("Set IP Address"));
  row("ButtonNM", "button", QStringLiteral("Set NetMask"));
  row("ButtonGIP", "button", QStringLiteral("Set Gateway IP"));
  row("GroupBoxNCO", "group", QStringLiteral(" Set NCO "));
  row("ButtonNCO1", "button", QStringLiteral("Set NCO 1"));
  row("ButtonNCO4", "button", QStringLiteral("Set NCO 4"));
  row("Label11", "label", QStringLiteral("Values are in Hz. Min = 120 Hz, Max = 62500000 Hz."));
  row("GroupBoxUserText", "group", QStringLiteral(" Set User Text "));
  row("ButtonUT", "button", QStringLiteral("Send instruction"));
  row("GroupBoxSpare", "group", QString());
  row("PanelGS", "panel", QString());
  row("LabelGS", "label", QStringLiteral("Status"));
  // Send TS page.
  row("Label12", "label", QStringLiteral("Send Transport Stream Instruction"));
  row("GroupBoxCommon", "group", QStringLiteral(" Common Parameters "));
  row("RadioGroupTSFormat", "radio", QStringLiteral(" TS Format "));
  row("RadioGroupITType", "radio", QStringLiteral(" Instruction Type "));
  row("RadioGroupDVPin", "radio", QStringLiteral(" Data Valid Pin "));
  row("RadioGroupTSSource", "radio", QStringLiteral(" TS Source "));
  row("Label13", "label", QStringLiteral("Destination IP:"));
  row("Label15", "label", QStringLiteral("Destination Port:"));
  row("EditDPort", "edit", QStringLiteral("56789"));
  row("GroupBoxQVNet", "group", QStringLiteral(" QV-Net Data Size "));
  row("ScrollBarQVNetSize", "scroll", QString());
  row("GroupBoxIPTV", "group", QStringLiteral(" IPTV Parameters "));
  row("RadioGroupPN", "radio", QStringLiteral(" Packet Number "));
  row("CheckBoxRN", "check", QStringLiteral("Remove Null Packets"));
  row("CheckBoxRT", "check", QStringLiteral("Remove Packets with TSP Error"));
  row("RadioGroupPF", "radio", QStringLiteral(" Packet Format "));
  row("ButtonSendTS", "button", QStringLiteral("Send TS"));
  row("ButtonDontSendTS", "button", QStringLiteral("Don't Send TS"));
  row("PanelTS", "panel", QString());
  // Manufacturer Setup page.
  row("GroupBoxMS", "group", QStringLiteral(" Manufacturer Setup"));
  row("GroupBoxCommunication", "group", QStringLiteral(" Communication "));
  row("GroupBoxSetup", "group", QStringLiteral(" Marovantis Setup"));
  row("GroupBoxSelfTest", "group", QStringLiteral(" Self Test "));
  row("LabelTest1", "label", QStringLiteral("Target Device:"));
  row("LabelTest2", "label", QStringLiteral("User Text:"));
  row("LabelTest", "label", QStringLiteral("Press 'Test and Configure' !"));
  row("PanelTest1", "panel", QString());
  row("PanelTest2", "panel", QString());
  row("PanelTest3", "panel", QString());
  row("ButtonMS", "button", QStringLiteral("Test and Configure"));
}

void MainWindowLayoutTest::controlsOfThePages() {
  QFETCH(QString, name);
  QFETCH(QString, kind);
  QFETCH(QString, text);
  QFETCH(bool, enabled);
  const QList<QWidget*> found = form_->findChildren<QWidget*>(name);
  QCOMPARE(found.size(), 1);  // each name once in the window
  QWidget* widget = found.first();
  QCOMPARE(kindOf(widget), kind);
  QCOMPARE(textOf(widget), text);
  QCOMPARE(widget->isEnabled(), enabled);
}

void MainWindowLayoutTest::typingLimits_data() {
  QTest::addColumn<QString>("name");
  QTest::addColumn<int>("limit");
  QTest::newRow("EditIP") << QStringLiteral("EditIP") << 128;
  for (int n = 1; n <= 5; ++n) {
    QTest::addRow("EditOC%d", n) << QStringLiteral("EditOC%1").arg(n) << 3;
    QTest::addRow("EditL%d", n) << QStringLiteral("EditL%1").arg(n) << 5;
    QTest::addRow("EditData%d", n) << QStringLiteral("EditData%1").arg(n) << 0;
  }
  QTest::newRow("Edit1") << QStringLiteral("Edit1") << 0;
  for (const char* stem : {"EditSIP", "EditNM", "EditGIP", "EditDIP"}) {
    for (int n = 1; n <= 4; ++n) {
      QTest::addRow("%s%d", stem, n) << QString::fromLatin1(stem) + QString::number(n) << 3;
    }
  }
  QTest::newRow("EditUT") << QStringLiteral("EditUT") << 15;
  QTest::newRow("EditSerial") << QStringLiteral("EditSerial") << 0;
  QTest::newRow("EditType") << QStringLiteral("EditType") << 0;
  QTest::newRow("EditNCO1") << QStringLiteral("EditNCO1") << 0;
  QTest::newRow("EditDPort") << QStringLiteral("EditDPort") << 0;
}

void MainWindowLayoutTest::typingLimits() {
  QFETCH(QString, name);
  QFETCH(int, limit);
  auto* edit = child<QLineEdit>(form_.get(), name);
  QVERIFY(edit);
  QCOMPARE(typingLimitOf(edit), limit);
  QCOMPARE(edit->maxLength(), 32767);  // Qt's own cut of set texts stays off
}

void MainWindowLayoutTest::radioGroupItems_data() {
  QTest::addColumn<QString>("name");
  QTest::addColumn<QStringList>("items");
  QTest::addColumn<int>("designIndex");
  QTest::newRow("RadioGroupAP") << QStringLiteral("RadioGroupAP")
                                << QStringList{QStringLiteral("QV-Net"), QStringLiteral("Palvox")}
                                << 0;
  QTest::newRow("RadioGroupReset")
      << QStringLiteral("RadioGroupReset")
      << QStringList{QStringLiteral("PDI Reset"), QStringLiteral("System Reset"),
                     QStringLiteral("SDI Reset")}
      << 0;
  QTest::newRow("RadioGroupTSFormat")
      << QStringLiteral("RadioGroupTSFormat")
      << QStringList{QStringLiteral("QV-Net"), QStringLiteral("IPTV")} << 1;
  QTest::newRow("RadioGroupITType")
      << QStringLiteral("RadioGroupITType")
      << QStringList{QStringLiteral("Send TS"), QStringLiteral("Always Send TS")} << 0;
  QTest::newRow("RadioGroupDVPin")
      << QStringLiteral("RadioGroupDVPin")
      << QStringList{QStringLiteral("Disabled"), QStringLiteral("Enabled")} << 0;
  QTest::newRow("RadioGroupTSSource")
      << QStringLiteral("RadioGroupTSSource")
      << QStringList{QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"),
                     QStringLiteral("4")}
      << 0;
  QTest::newRow("RadioGroupPN") << QStringLiteral("RadioGroupPN")
                                << QStringList{QStringLiteral("1"), QStringLiteral("2"),
                                               QStringLiteral("3"), QStringLiteral("4"),
                                               QStringLiteral("5"), QStringLiteral("6"),
                                               QStringLiteral("7")}
                                << 6;
  QTest::newRow("RadioGroupPF")
      << QStringLiteral("RadioGroupPF")
      << QStringList{QStringLiteral("188 bytes"), QStringLiteral("204 bytes")} << 0;
}

void MainWindowLayoutTest::radioGroupItems() {
  QFETCH(QString, name);
  QFETCH(QStringList, items);
  QFETCH(int, designIndex);
  auto* group = child<RadioGroup>(form_.get(), name);
  QVERIFY(group);
  QCOMPARE(group->count(), items.size());
  for (int i = 0; i < items.size(); ++i) QCOMPARE(group->item(i)->text(), items.at(i));
  // The values of a first run (no keys in the file) are the design selections.
  QCOMPARE(group->itemIndex(), designIndex);
}

void MainWindowLayoutTest::scrollBarsAndSpinner() {
  auto* reset = child<QScrollBar>(form_.get(), QStringLiteral("ScrollBarReset"));
  QCOMPARE(reset->orientation(), Qt::Horizontal);
  QCOMPARE(reset->minimum(), 1);
  QCOMPARE(reset->maximum(), 255);
  QCOMPARE(reset->singleStep(), 1);
  QCOMPARE(reset->pageStep(), 1);
  auto* size = child<QScrollBar>(form_.get(), QStringLiteral("ScrollBarQVNetSize"));
  QCOMPARE(size->orientation(), Qt::Horizontal);
  QCOMPARE(size->minimum(), 256);
  QCOMPARE(size->maximum(), 1428);
  QCOMPARE(size->singleStep(), 1);
  QCOMPARE(size->pageStep(), 1);
  auto* spinner = child<UpDown>(form_.get(), QStringLiteral("UpDownIP"));
  QCOMPARE(spinner->minimum(), 0);
  QCOMPARE(spinner->maximum(), 255);
  QVERIFY(!spinner->wrapping());
  QVERIFY(spinner->width() > spinner->height());  // arrows side by side
}

void MainWindowLayoutTest::fontsAndColours() {
  for (const char* name : {"LabelVexilSetup", "Label2", "LabelIPAddr", "LabelD"}) {
    QCOMPARE(child<QWidget>(form_.get(), QLatin1String(name))->font().pointSize(), 10);
  }
  QCOMPARE(child<QWidget>(form_.get(), QStringLiteral("EditIP"))->font().pointSize(), 10);
  QCOMPARE(child<QWidget>(form_.get(), QStringLiteral("ButtonQuery"))->font().pointSize(), 10);
  QCOMPARE(child<QWidget>(form_.get(), QStringLiteral("Label12"))->font().pointSize(), 12);
  const QFont status = child<QWidget>(form_.get(), QStringLiteral("LabelTest"))->font();
  QCOMPARE(status.pointSize(), 10);
  QVERIFY(status.bold());
  QCOMPARE(child<QLabel>(form_.get(), QStringLiteral("LabelTest"))->alignment() &
               Qt::AlignHCenter,
           Qt::AlignHCenter);
  const QFont memoIns = child<QWidget>(form_.get(), QStringLiteral("MemoIns"))->font();
  QCOMPARE(memoIns.pointSize(), 9);
  // Equal advances of what the dumps print, not fontconfig's fixed-pitch flag.
  const QFontMetrics metrics(memoIns);
  for (const QChar c : QStringLiteral("$0123456789ABCDEF :.()Palvox body")) {
    QCOMPARE(metrics.horizontalAdvance(c), metrics.horizontalAdvance(QLatin1Char('$')));
  }

  auto* memoInfo = child<Memo>(form_.get(), QStringLiteral("MemoInfo"));
  QCOMPARE(memoInfo->palette().color(QPalette::Base), QColor(0xF2, 0xEE, 0xD2));
  QVERIFY(memoInfo->isReadOnly());
  QCOMPARE(memoInfo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  QVERIFY(child<Memo>(form_.get(), QStringLiteral("MemoIns"))->isReadOnly());
  QCOMPARE(child<Panel>(form_.get(), QStringLiteral("PanelOpcode"))->faceColour(),
           QColor(0xFF, 0xBF, 0x80));
  QCOMPARE(child<Panel>(form_.get(), QStringLiteral("PanelLength"))->faceColour(),
           QColor(0x93, 0xC9, 0xFF));
  QCOMPARE(child<Panel>(form_.get(), QStringLiteral("PanelUserText"))->faceColour(),
           QColor(0xC0, 0xC0, 0xC0));
  QCOMPARE(child<QLabel>(form_.get(), QStringLiteral("Label9"))->palette().color(QPalette::WindowText),
           QColor(0x00, 0x4F, 0x9D));
  for (const char* name : {"PanelGS", "PanelTS", "PanelTest1", "PanelTest2", "PanelTest3"}) {
    auto* panel = child<Panel>(form_.get(), QLatin1String(name));
    QCOMPARE(panel->faceColour(), buttonFace());
    QCOMPARE(panel->frameShadow(), QFrame::Sunken);
  }
  QCOMPARE(editColour(child<QLineEdit>(form_.get(), QStringLiteral("EditOC1"))), editBackground());
}

void MainWindowLayoutTest::everyControlLiesInsideItsPage() {
  QTabWidget* pages = form_->pageControl();
  for (int i = 0; i < pages->count(); ++i) {
    pages->setCurrentIndex(i);
    QWidget* page = pages->widget(i);
    QTRY_VERIFY(page->isVisible());
    const QRect area = page->rect();
    for (QWidget* control : page->findChildren<QWidget*>()) {
      if (control->objectName().isEmpty() || !control->isVisibleTo(page)) continue;
      const QRect placed(control->mapTo(page, QPoint(0, 0)), control->size());
      QVERIFY2(area.contains(placed),
               qPrintable(QStringLiteral("%1 at %2,%3 %4x%5 leaves its page %6x%7")
                              .arg(control->objectName())
                              .arg(placed.x())
                              .arg(placed.y())
                              .arg(placed.width())
                              .arg(placed.height())
                              .arg(area.width())
                              .arg(area.height())));
    }
  }
  pages->setCurrentIndex(0);
}

QTEST_MAIN(MainWindowLayoutTest)
#include "MainWindowLayoutTest.moc"
