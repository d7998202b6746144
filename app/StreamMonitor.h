// The Stream Monitor window: listens on a UDP port and shows the transport stream that
// arrives, live. The counting is the stream library's; this window only shows it.
#pragma once

#include <QWidget>
#include <array>
#include <memory>

#include "stream/StreamReceiver.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTableWidget;
class QTimer;

namespace vexil::app {

class RatePlot;

/// A non-modal window. "Listen" binds the address and port, "Stop" releases them;
/// "Record..." writes the packets to a .ts file until pressed again; "Reset" starts
/// the counts again. The figures refresh once a second. Interface thread only.
class StreamMonitor : public QWidget {
  Q_OBJECT
 public:
  /// The figures shown, in display order.
  enum Figure {
    Datagrams, Packets, BitRate, PacketSize, PacketsPerDatagram, NullShare,
    TransportErrors, ContinuityErrors, SyncLosses, SocketDrops, Recorded, FigureCount
  };
  static constexpr auto kRefresh = std::chrono::milliseconds(1000);
  static constexpr auto kPlotSpan = std::chrono::seconds(300);  // the meter's history
  static constexpr auto kPlotMinimumSpan = std::chrono::seconds(60);

  explicit StreamMonitor(QWidget* parent = nullptr);
  ~StreamMonitor() override;

  /// Sets the address and port to listen on (shown in the entries).
  void setEndpoint(const QString& address, int port);
  /// Starts listening on the entries' address and port; false with the reason shown.
  bool listen();
  void stopListening();
  bool listening() const { return receiver_.running(); }
  /// Starts or ends writing packets to `path`.
  bool startRecording(const QString& path);
  void stopRecording();

  /// Pulls the latest counts and shows them (the timer calls it).
  void refresh();

  QLabel* figure(Figure f) const { return figures_[f]; }
  QLabel* indicator(std::size_t i) const { return indicators_[i]; }
  QTableWidget* pidTable() const { return pidTable_; }
  RatePlot* plot() const { return plot_; }
  QLabel* statusLine() const { return status_; }
  std::uint16_t boundPort() const { return receiver_.port(); }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void listenClicked();
  void recordClicked();

  stream::StreamReceiver receiver_;
  QLineEdit* address_ = nullptr;
  QSpinBox* port_ = nullptr;
  QPushButton* listenButton_ = nullptr;
  QPushButton* recordButton_ = nullptr;
  QPushButton* resetButton_ = nullptr;
  std::array<QLabel*, FigureCount> figures_{};
  std::array<QLabel*, stream::Priority1::kCount> indicators_{};
  QTableWidget* pidTable_ = nullptr;
  RatePlot* plot_ = nullptr;
  QLabel* status_ = nullptr;
  QTimer* timer_ = nullptr;
};

}  // namespace vexil::app
