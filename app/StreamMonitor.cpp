#include "app/StreamMonitor.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "app/RatePlot.h"
#include "stream/StreamReport.h"

namespace vexil::app {
namespace {

constexpr int kMaxPort = 65535;
constexpr int kIndicatorColumns = 3;
constexpr int kFigureColumns = 2;
constexpr double kMega = 1e6;
const QColor kRed(0xFF, 0x00, 0x00);
const QColor kGreen(0xC0, 0xDC, 0xC0);
const QColor kIdle(0xE0, 0xE0, 0xE0);

const char* const kFigureNames[StreamMonitor::FigureCount] = {
    "Datagrams/s", "TS packets/s", "Bit rate", "Packet size", "Packets per datagram",
    "Null packets", "Transport-error packets", "Continuity errors", "Sync byte errors / losses",
    "Socket drops", "Recorded packets"};

enum PidColumn { PidColumnPid, PidColumnPackets, PidColumnShare, PidColumnCc, PidColumnKind, PidColumnCount };

void paint(QLabel* label, const QColor& colour) {
  label->setStyleSheet(QStringLiteral("QLabel { background: %1; border: 1px solid #808080; padding: 3px; }")
                           .arg(colour.name()));
}

QString number(std::uint64_t v) { return QString::number(static_cast<qulonglong>(v)); }

}  // namespace

StreamMonitor::StreamMonitor(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName(QStringLiteral("StreamMonitor"));
  setWindowTitle(QStringLiteral("Stream Monitor"));
  auto* layout = new QVBoxLayout(this);

  auto* endpoint = new QHBoxLayout;
  address_ = new QLineEdit(QStringLiteral("127.0.0.1"));
  address_->setObjectName(QStringLiteral("EditAddress"));
  port_ = new QSpinBox;
  port_->setObjectName(QStringLiteral("SpinPort"));
  port_->setRange(1, kMaxPort);
  listenButton_ = new QPushButton(QStringLiteral("Listen"));
  listenButton_->setObjectName(QStringLiteral("ButtonListen"));
  recordButton_ = new QPushButton(QStringLiteral("Record..."));
  recordButton_->setObjectName(QStringLiteral("ButtonRecord"));
  resetButton_ = new QPushButton(QStringLiteral("Reset"));
  resetButton_->setObjectName(QStringLiteral("ButtonReset"));
  endpoint->addWidget(new QLabel(QStringLiteral("Address:")));
  endpoint->addWidget(address_);
  endpoint->addWidget(new QLabel(QStringLiteral("UDP port:")));
  endpoint->addWidget(port_);
  endpoint->addWidget(listenButton_);
  endpoint->addWidget(recordButton_);
  endpoint->addWidget(resetButton_);
  layout->addLayout(endpoint);

  auto* middle = new QHBoxLayout;
  auto* figuresBox = new QGroupBox(QStringLiteral(" Stream "));
  auto* figures = new QGridLayout(figuresBox);
  for (int i = 0; i < FigureCount; ++i) {
    figures->addWidget(new QLabel(QString::fromLatin1(kFigureNames[i]) + QLatin1Char(':')), i, 0);
    figures_[i] = new QLabel(QStringLiteral("-"));
    figures_[i]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    figures_[i]->setMinimumWidth(110);
    figures->addWidget(figures_[i], i, 1);
  }
  middle->addWidget(figuresBox);

  auto* right = new QVBoxLayout;
  auto* p1Box = new QGroupBox(QStringLiteral(" ETSI TR 101 290 priority 1 "));
  auto* p1 = new QGridLayout(p1Box);
  for (std::size_t i = 0; i < indicators_.size(); ++i) {
    indicators_[i] = new QLabel(QString::fromLatin1(stream::kPriority1Names[i]));
    indicators_[i]->setAlignment(Qt::AlignCenter);
    indicators_[i]->setMinimumWidth(150);
    paint(indicators_[i], kIdle);
    p1->addWidget(indicators_[i], static_cast<int>(i) / kIndicatorColumns, static_cast<int>(i) % kIndicatorColumns);
  }
  right->addWidget(p1Box);
  pidTable_ = new QTableWidget(0, PidColumnCount);
  pidTable_->setObjectName(QStringLiteral("TablePids"));
  pidTable_->setHorizontalHeaderLabels({QStringLiteral("PID"), QStringLiteral("Packets"), QStringLiteral("Share"),
                                        QStringLiteral("CC errors"), QStringLiteral("Carries")});
  pidTable_->verticalHeader()->hide();
  pidTable_->horizontalHeader()->setStretchLastSection(true);
  pidTable_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  right->addWidget(pidTable_);
  middle->addLayout(right, 1);
  layout->addLayout(middle);

  plot_ = new RatePlot;
  plot_->setObjectName(QStringLiteral("PlotBitRate"));
  layout->addWidget(plot_);
  status_ = new QLabel(QStringLiteral("Not listening."));
  status_->setObjectName(QStringLiteral("LabelStatus"));
  layout->addWidget(status_);

  timer_ = new QTimer(this);
  timer_->setInterval(kRefresh);
  connect(timer_, &QTimer::timeout, this, &StreamMonitor::refresh);
  connect(listenButton_, &QPushButton::clicked, this, &StreamMonitor::listenClicked);
  connect(recordButton_, &QPushButton::clicked, this, &StreamMonitor::recordClicked);
  connect(resetButton_, &QPushButton::clicked, this, [this] {
    receiver_.reset();
    refresh();
  });
  recordButton_->setEnabled(false);
}

StreamMonitor::~StreamMonitor() { receiver_.stop(); }

void StreamMonitor::setEndpoint(const QString& address, int port) {
  address_->setText(address);
  port_->setValue(port);
}

bool StreamMonitor::listen() {
  stopListening();
  if (!receiver_.start(address_->text().toStdString(), port_->value())) {
    status_->setText(QString::fromStdString(receiver_.error()));
    return false;
  }
  status_->setText(QStringLiteral("Listening on %1:%2 (UDP).").arg(address_->text()).arg(receiver_.port()));
  listenButton_->setText(QStringLiteral("Stop"));
  recordButton_->setEnabled(true);
  address_->setEnabled(false);
  port_->setEnabled(false);
  timer_->start();
  refresh();
  return true;
}

void StreamMonitor::stopListening() {
  if (!receiver_.running()) return;
  stopRecording();
  refresh();
  receiver_.stop();
  timer_->stop();
  listenButton_->setText(QStringLiteral("Listen"));
  recordButton_->setEnabled(false);
  address_->setEnabled(true);
  port_->setEnabled(true);
  status_->setText(QStringLiteral("Not listening."));
}

bool StreamMonitor::startRecording(const QString& path) {
  std::string why;
  if (!receiver_.startRecording(path.toStdString(), why)) {
    status_->setText(QStringLiteral("Cannot record: ") + QString::fromStdString(why));
    return false;
  }
  recordButton_->setText(QStringLiteral("Stop recording"));
  status_->setText(QStringLiteral("Recording to ") + path);
  return true;
}

void StreamMonitor::stopRecording() {
  if (!receiver_.recording()) return;
  const std::uint64_t written = receiver_.stopRecording();
  recordButton_->setText(QStringLiteral("Record..."));
  status_->setText(QStringLiteral("Recorded %1 packets.").arg(number(written)));
}

void StreamMonitor::listenClicked() {
  if (receiver_.running())
    stopListening();
  else
    listen();
}

void StreamMonitor::recordClicked() {
  if (receiver_.recording()) {
    stopRecording();
    return;
  }
  const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Record transport stream"),
                                                    QStringLiteral("stream.ts"),
                                                    QStringLiteral("Transport streams (*.ts)"));
  if (!path.isEmpty()) startRecording(path);
}

void StreamMonitor::refresh() {
  const stream::StreamSnapshot s = receiver_.snapshot();
  const stream::StreamTotals& t = s.totals;
  const stream::StreamRates& r = s.rates;
  const stream::Priority1& p = t.priority1;
  figures_[Datagrams]->setText(QString::number(r.datagramsPerSecond, 'f', 1));
  figures_[Packets]->setText(QString::number(r.packetsPerSecond, 'f', 1));
  figures_[BitRate]->setText(QString::number(r.bitsPerSecond / kMega, 'f', 3) + QStringLiteral(" Mb/s"));
  figures_[PacketSize]->setText(t.packetSize ? QString::number(t.packetSize) + QStringLiteral(" bytes") : QStringLiteral("-"));
  figures_[PacketsPerDatagram]->setText(QString::number(r.packetsPerDatagram, 'f', 2));
  figures_[NullShare]->setText(QString::number(r.nullShare * 100, 'f', 1) + QStringLiteral(" %"));
  figures_[TransportErrors]->setText(number(t.transportErrorPackets));
  figures_[ContinuityErrors]->setText(number(p.continuityError));
  figures_[SyncLosses]->setText(number(p.syncByteError) + QStringLiteral(" / ") + number(p.tsSyncLoss));
  figures_[SocketDrops]->setText(number(s.socketDrops));
  figures_[Recorded]->setText(number(s.recordedPackets));

  const auto counts = p.asArray();
  for (std::size_t i = 0; i < indicators_.size(); ++i) {
    indicators_[i]->setText(QStringLiteral("%1: %2").arg(QString::fromLatin1(stream::kPriority1Names[i]), number(counts[i])));
    paint(indicators_[i], t.packets == 0 ? kIdle : s.red[i] ? kRed : kGreen);
  }

  pidTable_->setRowCount(static_cast<int>(s.pids.size()));
  for (std::size_t row = 0; row < s.pids.size(); ++row) {
    const stream::PidCounts& c = s.pids[row];
    const double share = 100.0 * stream::pidShare(c, t);
    const QString cells[PidColumnCount] = {
        QStringLiteral("0x%1 (%2)").arg(c.pid, 4, 16, QLatin1Char('0')).arg(c.pid), number(c.packets),
        QString::number(share, 'f', 2) + QStringLiteral(" %"), number(c.continuityErrors),
        QString::fromStdString(stream::pidKindText(c))};
    for (int col = 0; col < PidColumnCount; ++col) {
      auto* item = new QTableWidgetItem(cells[col]);
      if (col != PidColumnKind) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
      if (col == PidColumnCc && c.continuityErrors) item->setBackground(kRed);
      pidTable_->setItem(static_cast<int>(row), col, item);
    }
  }
  // The time axis grows with the history up to its full length, a minute at least.
  std::chrono::seconds span = kPlotMinimumSpan;
  if (!s.history.empty())
    span = std::clamp(std::chrono::ceil<std::chrono::seconds>(s.history.back().at - s.history.front().at),
                      kPlotMinimumSpan, kPlotSpan);
  plot_->setPoints(s.history, span);
}

void StreamMonitor::closeEvent(QCloseEvent* event) {
  stopListening();
  event->accept();
}

}  // namespace vexil::app
