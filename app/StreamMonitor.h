// The Stream Monitor window: listens on a UDP port or multicast group and shows the
// transport stream that arrives, live. The counting is the stream library's, and what
// to show of it (texts, which indicators are red, green or not seen) comes from
// stream/MonitorView.h; this window only moves those texts and colours into widgets.
#pragma once

#include <QWidget>
#include <array>
#include <memory>

#include "stream/MonitorView.h"
#include "stream/StreamReceiver.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTableWidget;
class QTimer;

namespace vexil::app {

class RatePlot;

/// A non-modal window. "Listen" binds the address and port (joining the group when the
/// address is a multicast group, from the source and on the interface when given),
/// "Stop" releases them; "Record..." writes the packets to a .ts file until pressed
/// again; "Reset" starts the counts again. The figures refresh once a second.
/// Interface thread only.
class StreamMonitor : public QWidget {
  Q_OBJECT
 public:
  /// The figures shown, in display order: StreamMonitor::Packets and so on.
  using Figure = stream::MonitorFigure;
  using enum stream::MonitorFigure;
  static constexpr auto kRefresh = std::chrono::milliseconds(1000);
  static constexpr auto kPlotSpan = std::chrono::seconds(300);  // the meter's history
  static constexpr auto kPlotMinimumSpan = std::chrono::seconds(60);

  explicit StreamMonitor(QWidget* parent = nullptr);
  ~StreamMonitor() override;

  /// Sets the address and port to listen on (shown in the entries).
  void setEndpoint(const QString& address, int port);
  /// Starts listening on the entries' endpoint; false with the reason in the status line.
  bool listen();
  void stopListening();
  bool listening() const { return receiver_.running(); }
  /// Starts or ends writing packets to `path`.
  bool startRecording(const QString& path);
  void stopRecording();

  /// Pulls the latest counts and shows them (the timer calls it).
  void refresh();

  QLabel* figure(Figure f) const { return figures_[static_cast<std::size_t>(f)]; }
  /// Indicator `i` (in the order of stream::Indicator): its name, count and last time,
  /// each painted in the indicator's colour.
  QLabel* indicator(std::size_t i) const { return indicators_[i].name; }
  QLabel* indicatorCount(std::size_t i) const { return indicators_[i].count; }
  QLabel* indicatorLast(std::size_t i) const { return indicators_[i].last; }
  QLabel* noStreamLabel() const { return noStream_; }
  QTableWidget* pidTable() const { return pidTable_; }
  RatePlot* plot() const { return plot_; }
  QLabel* statusLine() const { return status_; }
  std::uint16_t boundPort() const { return receiver_.port(); }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  struct IndicatorRow {
    QLabel* name = nullptr;
    QLabel* count = nullptr;
    QLabel* last = nullptr;
  };

  QLayout* buildEndpointRow();
  QGroupBox* buildFigures();
  QGroupBox* buildIndicators(int priority);
  void buildPidTable();
  void showView(const stream::MonitorView& view);
  void showPids(const stream::StreamSnapshot& s);
  /// The buttons and entries while listening (Record and Reset on, entries fixed) or not.
  void showListening(bool listening);
  /// Ends the recording; what the status line says of it.
  QString endRecording();
  void listenClicked();
  void recordClicked();

  stream::StreamReceiver receiver_;
  QLineEdit* address_ = nullptr;
  QSpinBox* port_ = nullptr;
  QLineEdit* source_ = nullptr;
  QLineEdit* interface_ = nullptr;
  QPushButton* listenButton_ = nullptr;
  QPushButton* recordButton_ = nullptr;
  QPushButton* resetButton_ = nullptr;
  QLabel* noStream_ = nullptr;
  std::array<QLabel*, stream::kMonitorFigureCount> figures_{};
  std::array<IndicatorRow, stream::kIndicatorCount> indicators_{};
  QTableWidget* pidTable_ = nullptr;
  RatePlot* plot_ = nullptr;
  QLabel* status_ = nullptr;
  QTimer* timer_ = nullptr;
};

}  // namespace vexil::app
