#include "app/VexilDevPf.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLineEdit>
#include <QLayout>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QTabWidget>

#include "app/About.h"
#include "app/Appearance.h"
#include "app/Controls.h"
#include "app/GeneralPage.h"
#include "app/InstrTestPage.h"
#include "app/MainPage.h"
#include "app/ManufacturerPage.h"
#include "app/Pictures.h"
#include "app/SendTsPage.h"
#include "app/BoardWatchWindow.h"
#include "app/StreamMonitor.h"
#include "stream/MonitorView.h"
#include "app/Settings.h"
#include "instructions/DeviceQuery.h"
#include "instructions/GeneralInstructions.h"
#include "instructions/InstructionTest.h"
#include "instructions/ManufacturerSetup.h"
#include "instructions/TsRouting.h"
#include "messaging/TransactionEngine.h"
#include "messaging/WireLayout.h"
#include "settings/IniFile.h"

using namespace vexil;
using namespace vexil::app;

namespace {
constexpr int kClientWidth = 744;  // below the menu bar
constexpr int kClientHeight = 533;
constexpr int kPanelMargin = 6;  // backdrop visible around the page panel
constexpr int kPageControlMargin = 2;
}  // namespace

TMainForm::TMainForm(QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                              Qt::WindowCloseButtonHint) {
  setObjectName(QStringLiteral("MainForm"));
  installTahoma();
  setFont(tahoma());
  buildMenu();
  buildPages();
  // A single, non-resizable border around a fixed client area.
  layout()->setSizeConstraint(QLayout::SetFixedSize);
  FormCreate();
  adjustSize();
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
  }
}

TMainForm::~TMainForm() {
  // Dropped in the order of shut-down should the window be destroyed without closing.
  releasePageLogic();
  engine_.reset();
  settingsFile_.reset();
}

void TMainForm::buildMenu() {
  QMenuBar* bar = menuBar();
  bar->setObjectName(QStringLiteral("MainMenu"));
  QMenu* file = bar->addMenu(QStringLiteral("File"));
  file->setObjectName(QStringLiteral("File1"));
  exit1_ = file->addAction(QStringLiteral("Exit"));
  exit1_->setObjectName(QStringLiteral("Exit1"));
  // "Settings" and "About" act when clicked in the bar itself.
  settings1_ = bar->addAction(QStringLiteral("Settings"));
  settings1_->setObjectName(QStringLiteral("Settings1"));
  about1_ = bar->addAction(QStringLiteral("About"));
  about1_->setObjectName(QStringLiteral("About1"));
  connect(exit1_, &QAction::triggered, this, &TMainForm::Exit1Click);
  connect(settings1_, &QAction::triggered, this, &TMainForm::Settings1Click);
  connect(about1_, &QAction::triggered, this, &TMainForm::About1Click);
  // Tools of our own come after the bar's items, which stay as they are.
  QMenu* tools = bar->addMenu(QStringLiteral("Tools"));
  tools->setObjectName(QStringLiteral("Tools1"));
  streamMonitor1_ = tools->addAction(QStringLiteral("Stream Monitor..."));
  streamMonitor1_->setObjectName(QStringLiteral("StreamMonitor1"));
  connect(streamMonitor1_, &QAction::triggered, this, &TMainForm::StreamMonitor1Click);
  boardWatch1_ = tools->addAction(QStringLiteral("Board Watch..."));
  boardWatch1_->setObjectName(QStringLiteral("BoardWatch1"));
  connect(boardWatch1_, &QAction::triggered, this, &TMainForm::BoardWatch1Click);
}

BoardWatchWindow* TMainForm::boardWatch() const { return boardWatch_.data(); }

void TMainForm::BoardWatch1Click() {
  if (!boardWatch_) {
    boardWatch_ = new BoardWatchWindow(this);
    boardWatch_->setAttribute(Qt::WA_DeleteOnClose, false);
  }
  // The board the main page names now heads the list.
  if (!boardWatch_->running()) {
    boardWatch_->setDevice(QString::fromStdString(deviceAddress()), engine_->devicePort());
  }
  boardWatch_->show();
  boardWatch_->raise();
  boardWatch_->activateWindow();
}

StreamMonitor* TMainForm::streamMonitor() const { return streamMonitor_.data(); }

void TMainForm::StreamMonitor1Click() {
  if (!streamMonitor_) {
    streamMonitor_ = new StreamMonitor(this);
    streamMonitor_->setAttribute(Qt::WA_DeleteOnClose, false);
    bool ok = false;
    const int port = sendTsPage_->destinationPortEdit()->text().toInt(&ok);
    QStringList destination;
    for (const QLineEdit* part : sendTsPage_->destinationEdits()) destination << part->text().trimmed();
    const std::string address = stream::firstListenAddress(destination.join(QLatin1Char('.')).toStdString());
    streamMonitor_->setEndpoint(QString::fromStdString(address),
                                ok && port > 0 && port <= 65535 ? port : wire::kDefaultPort);
  }
  streamMonitor_->show();
  streamMonitor_->raise();
  streamMonitor_->activateWindow();
}

void TMainForm::buildPages() {
  auto* backdrop = new Backdrop(this);
  backdrop->setObjectName(QStringLiteral("ImageBackdrop"));
  backdrop->setFixedSize(kClientWidth, kClientHeight);
  setCentralWidget(backdrop);

  auto* panel = new Panel(QStringLiteral("PanelPages"), Panel::Bevel::Lowered, backdrop);
  panel->setGeometry(kPanelMargin, kPanelMargin, kClientWidth - 2 * kPanelMargin,
                     kClientHeight - 2 * kPanelMargin);
  pageControl_ = new QTabWidget(panel);
  pageControl_->setObjectName(QStringLiteral("PageControl"));
  pageControl_->setTabPosition(QTabWidget::South);
  pageControl_->setGeometry(kPageControlMargin, kPageControlMargin,
                            panel->width() - 2 * kPageControlMargin,
                            panel->height() - 2 * kPageControlMargin);

  mainPage_ = new MainPage;
  instrTestPage_ = new InstrTestPage;
  generalPage_ = new GeneralPage;
  sendTsPage_ = new SendTsPage;
  manufacturerPage_ = new ManufacturerPage;
  pageControl_->addTab(mainPage_, QStringLiteral("Main"));
  pageControl_->addTab(instrTestPage_, QStringLiteral("Instruction Test"));
  pageControl_->addTab(generalPage_, QStringLiteral("General"));
  pageControl_->addTab(sendTsPage_, QStringLiteral("Send TS"));
  pageControl_->addTab(manufacturerPage_, QStringLiteral("Manufacturer Setup"));
  connect(mainPage_, &MainPage::queryClicked, this, &TMainForm::ButtonQueryClick);
}

void TMainForm::FormCreate() {
  // The engine brings the receive buffer and the Idle state with it.
  engine_ = std::make_unique<TransactionEngine>(host_);
  setWindowTitle(kMainCaption);
  pageControl_->setCurrentIndex(MainPageIndex);
  loadStoredSettings();
  attachPageLogic();
}

void TMainForm::attachPageLogic() {
  const auto address = [this] { return deviceAddress(); };
  query_ = std::make_unique<DeviceQuery>(
      *engine_, address, [this](const PageUpdate& update) { mainPage_->showQueryUpdate(update); });
  instructionTest_ = std::make_unique<InstructionTest>(
      *engine_, address, [this](const PageUpdate& update) { instrTestPage_->showMemo(update); });
  generalInstructions_ = std::make_unique<GeneralInstructions>(
      *engine_, address, [this](const PanelUpdate& update) { generalPage_->showStatus(update); });
  tsRouting_ = std::make_unique<TsRouting>(
      *engine_, address, [this](const PanelUpdate& update) { sendTsPage_->showStatus(update); });
  manufacturerSetup_ = std::make_unique<ManufacturerSetup>(
      *engine_, address,
      [this](const SetupUpdate& update) { manufacturerPage_->showUpdate(update); });
  instrTestPage_->attach(instructionTest_.get());
  manufacturerPage_->attach(manufacturerSetup_.get());
  generalPage_->attach(generalInstructions_.get());
  sendTsPage_->attach(tsRouting_.get());
}

void TMainForm::releasePageLogic() {
  instrTestPage_->attach(nullptr);
  generalPage_->attach(nullptr);
  sendTsPage_->attach(nullptr);
  manufacturerPage_->attach(nullptr);
  manufacturerSetup_.reset();
  tsRouting_.reset();
  generalInstructions_.reset();
  instructionTest_.reset();
  query_.reset();
}

void TMainForm::loadStoredSettings() {
  settingsFile_ = std::make_unique<settings::IniFile>(
      settings::settingsFilePath(QFile::encodeName(QDir::currentPath()).toStdString()));
  stored_ = settings::loadSettings(*settingsFile_);
  saveOnExit_ = stored_.saveOnExit;
  engine_->SetHostPort(stored_.myPort);
  engine_->SetDevicePort(stored_.devicePort);
  mainPage_->loadSettings(stored_);
  instrTestPage_->loadSettings(stored_);
  generalPage_->loadSettings(stored_);
  sendTsPage_->loadSettings(stored_);
  pageControl_->setTabVisible(ManufacturerPageIndex, settings::manufacturerSetupVisible(stored_));
}

std::string TMainForm::deviceAddress() const { return mainPage_->deviceAddress(); }

std::string TMainForm::settingsPath() const {
  return settingsFile_ ? settingsFile_->path() : std::string();
}

void TMainForm::useDialogs(TSettingsForm* settingsForm, TFormAbout* formAbout) {
  settingsForm_ = settingsForm;
  formAbout_ = formAbout;
}

TSettingsForm* TMainForm::settingsForm() {
  if (!settingsForm_) settingsForm_ = new TSettingsForm(this);
  return settingsForm_;
}

TFormAbout* TMainForm::formAbout() {
  if (!formAbout_) formAbout_ = new TFormAbout(this);
  return formAbout_;
}

void TMainForm::ButtonQueryClick() {
  if (query_) query_->query(mainPage_->ackProtocol());
}

void TMainForm::Exit1Click() { close(); }

void TMainForm::About1Click() { formAbout()->exec(); }

void TMainForm::Settings1Click() {
  if (!engine_) return;
  TSettingsForm* dialog = settingsForm();
  dialog->showValues(saveOnExit_, engine_->hostPort(), engine_->devicePort());
  if (dialog->exec() != QDialog::Accepted) return;

  // The new values take effect whether or not the file accepts them, so that the
  // ports shown, bound and sent to always agree.
  saveOnExit_ = dialog->saveOnExit();
  const int hostPort = dialog->hostPort();
  const int devicePort = dialog->devicePort();
  engine_->SetDevicePort(devicePort);
  engine_->SetHostPort(hostPort);
  try {
    settings::saveDialogSettings(*settingsFile_, saveOnExit_, hostPort, devicePort);
  } catch (const settings::WriteError& error) {
    showWriteError(error);
  }
}

void TMainForm::closeEvent(QCloseEvent* event) {
  FormClose();
  event->accept();
}

void TMainForm::FormClose() {
  if (closed_) return;
  closed_ = true;
  settings::StoredSettings values = stored_;
  values.saveOnExit = saveOnExit_;
  mainPage_->saveSettings(values);
  instrTestPage_->saveSettings(values);
  generalPage_->saveSettings(values);
  sendTsPage_->saveSettings(values);
  try {
    settings::saveSettings(*settingsFile_, values);
  } catch (const settings::WriteError& error) {
    showWriteError(error);
  }
  // The engine stops its timer, then the endpoint and its listener, then releases the
  // receive buffer; the settings file goes last.
  releasePageLogic();
  engine_.reset();
  settingsFile_.reset();
}

void TMainForm::showWriteError(const std::exception& error) {
  // The path in the message is the file system's own byte string. Why the file was
  // refused goes under the message, which stays the text users know.
  QMessageBox box(QMessageBox::Critical, kApplicationTitle, QString::fromLocal8Bit(error.what()),
                  QMessageBox::Ok, this);
  if (const auto* refused = dynamic_cast<const settings::WriteError*>(&error);
      refused && !refused->reason().empty()) {
    box.setInformativeText(QStringLiteral("Reason: ") + QString::fromLocal8Bit(refused->reason().c_str()));
  }
  box.exec();
}
