// The Board Watch window: watches boards for as long as it runs, with the same watch
// library as vexilctl watch, so the two agree. What to show (the lines of the last hour,
// the alarms, how each board looks) comes from watch/WatchHistory.h; the window moves it
// into widgets and plots.
#pragma once

#include <QWidget>
#include <array>
#include <memory>
#include <thread>

#include "watch/BoardWatch.h"
#include "watch/WatchHistory.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTableWidget;

namespace vexil::app {

/// One quantity of one board over the last hour: a line per channel (in four colours,
/// with a legend) or a single line; gaps where the board did not answer.
class HistoryPlot : public QWidget {
  Q_OBJECT
 public:
  HistoryPlot(watch::Quantity quantity, QWidget* parent = nullptr);
  /// The lines to draw (one, or four for channels 1..4), newest time `now`.
  void setLines(std::vector<std::vector<watch::HistoryPoint>> lines, watch::WallClock::time_point now,
                std::chrono::milliseconds interval);
  std::size_t pointCount() const;
  watch::Quantity quantity() const { return quantity_; }
  QSize sizeHint() const override { return {420, 150}; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  watch::Quantity quantity_;
  std::vector<std::vector<watch::HistoryPoint>> lines_;
  watch::WallClock::time_point now_;
  std::chrono::milliseconds interval_{1000};
};

/// A non-modal window. Boards are listed (the main page's device first) and may be added
/// as ADDR[:PORT] or removed while no watch runs; "Start" polls them every interval,
/// "Stop" ends it. Interface thread only; the watch itself runs on a thread of its own.
class BoardWatchWindow : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kDefaultDevicePort = 56789;
  explicit BoardWatchWindow(QWidget* parent = nullptr);
  ~BoardWatchWindow() override;

  /// Puts `address:port` first in the list (the main page's device).
  void setDevice(const QString& address, int port);
  /// Adds a board from its text, ADDR[:PORT]; false with the reason in the status line.
  bool addBoard(const QString& text);
  /// Starts watching the listed boards at the interval entered; false with the reason
  /// in the status line.
  bool start();
  void stop();
  bool running() const { return thread_.joinable(); }
  /// Writes the samples held as CSV (the columns of vexilctl watch --log).
  bool exportCsv(const QString& path);

  const watch::WatchHistory& history() const { return history_; }
  QListWidget* boardList() const { return boardList_; }
  QTableWidget* alarmTable() const { return alarmTable_; }
  QLabel* statusLine() const { return status_; }
  QLabel* activeAlarmsLabel() const { return activeAlarms_; }
  QLineEdit* intervalEdit() const { return interval_; }
  HistoryPlot* plot(watch::Quantity q) const { return plots_[static_cast<std::size_t>(q)]; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void onRound(const watch::WatchRound& round);
  void showBoards();
  void showPlots();
  void showState();
  std::vector<watch::BoardAddress> listedBoards() const;

  QListWidget* boardList_ = nullptr;
  QLineEdit* boardEdit_ = nullptr;
  QPushButton* add_ = nullptr;
  QPushButton* remove_ = nullptr;
  QLineEdit* interval_ = nullptr;
  QPushButton* start_ = nullptr;
  QPushButton* stop_ = nullptr;
  QPushButton* export_ = nullptr;
  QComboBox* boardChoice_ = nullptr;
  QLabel* status_ = nullptr;
  QLabel* activeAlarms_ = nullptr;
  QTableWidget* alarmTable_ = nullptr;
  std::array<HistoryPlot*, watch::kQuantityCount> plots_{};

  watch::WatchHistory history_;
  std::chrono::milliseconds runningInterval_{1000};
  std::unique_ptr<watch::BoardWatch> watch_;
  std::thread thread_;
};

}  // namespace vexil::app
