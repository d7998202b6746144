// The main window: the menu, the five pages, the settings file and the transaction
// engine, from start-up to shut-down.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <memory>
#include <string>

#include "app/QtEngineHost.h"
#include "settings/StoredSettings.h"

class QAction;
class QTabWidget;
class TFormAbout;
class TSettingsForm;

namespace vexil {
class DeviceQuery;
class GeneralInstructions;
class InstructionTest;
class ManufacturerSetup;
class TransactionEngine;
class TsRouting;
}  // namespace vexil

namespace vexil::app {
class GeneralPage;
class InstrTestPage;
class MainPage;
class ManufacturerPage;
class SendTsPage;
class BoardWatchWindow;
class StreamMonitor;
}  // namespace vexil::app

/// The window `MainForm`. It owns all application state: the transaction engine (with
/// its receive buffer and state), the settings file and what was read from it, the
/// save-on-exit flag, and the pages, which it only assembles. Creating it runs
/// `FormCreate`: the engine is created, the caption and first page are set, and every
/// setting is loaded from "VexilDevP.ini" in the working directory. Closing it (close
/// box or File, Exit) runs `FormClose`: the settings are written back and the engine
/// is shut down. Interface thread only.
class TMainForm : public QMainWindow {
  Q_OBJECT
 public:
  /// Page indexes of `PageControl`, in tab order.
  enum PageIndex {
    MainPageIndex,
    InstrTestPageIndex,
    GeneralPageIndex,
    SendTsPageIndex,
    ManufacturerPageIndex
  };

  explicit TMainForm(QWidget* parent = nullptr);
  ~TMainForm() override;

  /// Hands over the dialogs created at start-up. Without them the window creates its
  /// own the first time it needs one.
  void useDialogs(TSettingsForm* settingsForm, TFormAbout* formAbout);

  /// The device address at this moment (the caption of `LabelIPAddr`), 8-bit.
  std::string deviceAddress() const;
  /// The engine; null once the window has closed.
  vexil::TransactionEngine* engine() const { return engine_.get(); }
  /// The timer and hand-off host of the engine.
  vexil::app::QtEngineHost& engineHost() { return host_; }
  bool saveOnExit() const { return saveOnExit_; }
  /// Path of the settings file.
  std::string settingsPath() const;

  vexil::app::MainPage* mainPage() const { return mainPage_; }
  vexil::app::InstrTestPage* instrTestPage() const { return instrTestPage_; }
  vexil::app::GeneralPage* generalPage() const { return generalPage_; }
  vexil::app::SendTsPage* sendTsPage() const { return sendTsPage_; }
  vexil::app::ManufacturerPage* manufacturerPage() const { return manufacturerPage_; }
  /// The Stream Monitor window; null until first opened.
  vexil::app::StreamMonitor* streamMonitor() const;
  /// The Board Watch window; null until first opened.
  vexil::app::BoardWatchWindow* boardWatch() const;
  QTabWidget* pageControl() const { return pageControl_; }

 public slots:
  /// Query: sends the query the "ACK Protocoll" item chooses to the device address.
  void ButtonQueryClick();
  /// File, Exit: closes the window as its close box does.
  void Exit1Click();
  /// Settings: the settings dialog; Save applies and writes the three values at once.
  void Settings1Click();
  /// About: shows the About box modally.
  void About1Click();
  /// Tools, Stream Monitor...: shows the non-modal Stream Monitor, its entries first
  /// set to 127.0.0.1 and the Send TS page's destination port.
  void StreamMonitor1Click();
  /// Tools, Board Watch...: shows the non-modal Board Watch, its board list headed by
  /// the device address and port of the main page.
  void BoardWatch1Click();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void buildMenu();
  void buildPages();
  void FormCreate();
  void loadStoredSettings();
  void attachPageLogic();
  void releasePageLogic();
  void FormClose();
  void showWriteError(const std::exception& error);
  TSettingsForm* settingsForm();
  TFormAbout* formAbout();

  vexil::app::QtEngineHost host_;  // declared first: outlives the engine
  std::unique_ptr<vexil::TransactionEngine> engine_;
  std::unique_ptr<vexil::settings::IniFile> settingsFile_;
  vexil::settings::StoredSettings stored_;  // as read at start; the base of the save
  bool saveOnExit_ = true;
  // The pages' operations on the engine, released before it.
  std::unique_ptr<vexil::DeviceQuery> query_;
  std::unique_ptr<vexil::InstructionTest> instructionTest_;
  std::unique_ptr<vexil::GeneralInstructions> generalInstructions_;
  std::unique_ptr<vexil::TsRouting> tsRouting_;
  std::unique_ptr<vexil::ManufacturerSetup> manufacturerSetup_;
  bool closed_ = false;

  QPointer<TSettingsForm> settingsForm_;
  QPointer<TFormAbout> formAbout_;
  QTabWidget* pageControl_ = nullptr;
  vexil::app::MainPage* mainPage_ = nullptr;
  vexil::app::InstrTestPage* instrTestPage_ = nullptr;
  vexil::app::GeneralPage* generalPage_ = nullptr;
  vexil::app::SendTsPage* sendTsPage_ = nullptr;
  vexil::app::ManufacturerPage* manufacturerPage_ = nullptr;
  QAction* exit1_ = nullptr;
  QAction* settings1_ = nullptr;
  QAction* about1_ = nullptr;
  QAction* streamMonitor1_ = nullptr;
  QPointer<vexil::app::StreamMonitor> streamMonitor_;
  QAction* boardWatch1_ = nullptr;
  QPointer<vexil::app::BoardWatchWindow> boardWatch_;
};
