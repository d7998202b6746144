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

#include "app/Appearance.h"
#include "app/RatePlot.h"

namespace vexil::app {
namespace {

constexpr int kMaxPort = 65535;
constexpr int kAddressWidth = 110;
constexpr int kPortWidth = 70;
constexpr int kFigureValueWidth = 90;
constexpr int kCountWidth = 48;
constexpr int kLastWidth = 58;
constexpr int kPlotHeight = 170;
constexpr int kTableHeight = 170;
constexpr int kIndicatorsStretch = 1;
constexpr int kTableStretch = 3;  // the PID table gets the larger share of the bottom row
constexpr int kPlotStretch = 2;
constexpr int kRowPadding = 6;  // PID table rows: the text's height and this
constexpr int kHeaderRows = 1;
constexpr int kIndicatorSpacing = 3;  // the column captions above each priority's indicators
// Grey of an indicator that has nothing to say yet (not applicable, or no stream).

QColor lookColour(stream::IndicatorLook look) {
  switch (look) {
    case stream::IndicatorLook::Fired:
      return QColor(kFailureRgb);
    case stream::IndicatorLook::Quiet:
      return QColor(kSuccessRgb);
    case stream::IndicatorLook::NotSeen:
      break;
  }
  return QColor(kNotSeenRgb);
}

void paint(QLabel* label, const QColor& colour) {
  label->setStyleSheet(
      QStringLiteral("QLabel { background: %1; padding: 2px 4px; }").arg(colour.name()));
}

QString text(const std::string& s) { return QString::fromStdString(s); }
QString text(std::string_view s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

QLabel* cell(const QString& caption, Qt::Alignment alignment, int minimumWidth = 0) {
  auto* label = new QLabel(caption);
  label->setAlignment(alignment | Qt::AlignVCenter);
  if (minimumWidth) label->setMinimumWidth(minimumWidth);
  return label;
}

}  // namespace

StreamMonitor::StreamMonitor(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName(QStringLiteral("StreamMonitor"));
  setWindowTitle(QStringLiteral("Stream Monitor"));
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(buildEndpointRow());

  noStream_ = new QLabel(tr("No stream"));
  noStream_->setObjectName(QStringLiteral("LabelNoStream"));
  noStream_->setAlignment(Qt::AlignCenter);
  noStream_->setFont(tahoma(kHeadingPointSize, true));
  noStream_->setStyleSheet(QStringLiteral("QLabel { background: %1; color: white; padding: 2px; }")
                               .arg(QColor(kFailureRgb).name()));
  noStream_->hide();
  layout->addWidget(noStream_);

  auto* middle = new QHBoxLayout;
  middle->addWidget(buildFigures());
  middle->addWidget(buildIndicators(1), kIndicatorsStretch);
  middle->addWidget(buildIndicators(2), kIndicatorsStretch);
  layout->addLayout(middle);

  auto* bottom = new QHBoxLayout;
  buildPidTable();
  bottom->addWidget(pidTable_, kTableStretch);
  plot_ = new RatePlot;
  plot_->setObjectName(QStringLiteral("PlotBitRate"));
  plot_->setMinimumHeight(kPlotHeight);
  bottom->addWidget(plot_, kPlotStretch);
  layout->addLayout(bottom, 1);

  status_ = new QLabel(tr("Not listening."));
  status_->setWordWrap(true);  // a long reason wraps instead of widening the window
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
  showListening(false);
  // Nothing heard yet: every indicator grey, no figure made up.
  showView(stream::monitorView(stream::StreamSnapshot{}, false, stream::ClockPair::now()));
}

StreamMonitor::~StreamMonitor() { receiver_.stop(); }

QLayout* StreamMonitor::buildEndpointRow() {
  auto* row = new QHBoxLayout;
  const auto entry = [](const char* name, const QString& value, const QString& hint) {
    auto* edit = new QLineEdit(value);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setPlaceholderText(hint);
    edit->setMinimumWidth(kAddressWidth);
    return edit;
  };
  address_ = entry("EditAddress", QStringLiteral("127.0.0.1"), tr("address or group"));
  address_->setToolTip(tr("Local IPv4 address to listen on (0.0.0.0 for all), or a multicast "
                          "group (224.0.0.0 to 239.255.255.255) to join"));
  source_ = entry("EditSource", QString(), tr("optional"));
  source_->setToolTip(tr("A multicast group's source, to join that source only"));
  interface_ = entry("EditInterface", QString(), tr("optional"));
  interface_->setToolTip(tr("Local address of the interface to join the group on"));
  port_ = new QSpinBox;
  port_->setObjectName(QStringLiteral("SpinPort"));
  port_->setRange(1, kMaxPort);
  port_->setMinimumWidth(kPortWidth);
  port_->setToolTip(tr("UDP port the stream arrives on"));
  listenButton_ = new QPushButton(tr("Listen"));
  listenButton_->setObjectName(QStringLiteral("ButtonListen"));
  listenButton_->setToolTip(tr("Start listening (the counts start from zero), or stop"));
  recordButton_ = new QPushButton(tr("Record..."));
  recordButton_->setObjectName(QStringLiteral("ButtonRecord"));
  recordButton_->setToolTip(tr("Write the packets that arrive to a .ts file, until pressed again"));
  resetButton_ = new QPushButton(tr("Reset"));
  resetButton_->setObjectName(QStringLiteral("ButtonReset"));
  resetButton_->setToolTip(tr("Start every count and indicator again from zero"));
  row->addWidget(new QLabel(tr("Address:")));
  row->addWidget(address_);
  row->addWidget(new QLabel(tr("UDP port:")));
  row->addWidget(port_);
  row->addWidget(new QLabel(tr("Source:")));
  row->addWidget(source_);
  row->addWidget(new QLabel(tr("Interface:")));
  row->addWidget(interface_);
  row->addStretch();
  row->addWidget(listenButton_);
  row->addWidget(recordButton_);
  row->addWidget(resetButton_);
  return row;
}

QGroupBox* StreamMonitor::buildFigures() {
  auto* box = new QGroupBox(tr(" Stream "));
  auto* grid = new QGridLayout(box);
  for (std::size_t i = 0; i < figures_.size(); ++i) {
    const int row = static_cast<int>(i);
    grid->addWidget(
        new QLabel(QString::fromLatin1(stream::kMonitorFigureNames[i]) + QLatin1Char(':')), row, 0);
    figures_[i] = cell(QStringLiteral("-"), Qt::AlignRight, kFigureValueWidth);
    grid->addWidget(figures_[i], row, 1);
  }
  figure(SocketDrops)->setObjectName(QStringLiteral("LabelSocketDrops"));
  return box;
}

QGroupBox* StreamMonitor::buildIndicators(int priority) {
  auto* box = new QGroupBox(tr(" Priority %1 ").arg(priority));
  box->setObjectName(QStringLiteral("GroupPriority%1").arg(priority));
  auto* grid = new QGridLayout(box);
  grid->setHorizontalSpacing(0);
  grid->setVerticalSpacing(kIndicatorSpacing);
  grid->addWidget(cell(tr("Indicator"), Qt::AlignLeft), 0, 0);
  grid->addWidget(cell(tr("Count"), Qt::AlignRight), 0, 1);
  grid->addWidget(cell(tr("Last"), Qt::AlignRight), 0, 2);
  int row = kHeaderRows;
  for (const stream::IndicatorInfo& info : stream::kIndicators) {
    if (info.priority != priority) continue;
    const QString key = text(info.key);
    IndicatorRow& r = indicators_[stream::indexOf(info.id)];
    r.name = cell(text(info.name), Qt::AlignLeft);
    r.name->setObjectName(QStringLiteral("Indicator_") + key);
    r.count = cell(QString(), Qt::AlignRight, kCountWidth);
    r.count->setObjectName(QStringLiteral("IndicatorCount_") + key);
    r.last = cell(QString(), Qt::AlignRight, kLastWidth);
    r.last->setObjectName(QStringLiteral("IndicatorLast_") + key);
    grid->addWidget(r.name, row, 0);
    grid->addWidget(r.count, row, 1);
    grid->addWidget(r.last, row, 2);
    ++row;
  }
  grid->setColumnStretch(0, 1);
  grid->setRowStretch(row, 1);  // rows at the top when the box is taller than they need
  return box;
}

void StreamMonitor::buildPidTable() {
  pidTable_ = new QTableWidget(0, static_cast<int>(stream::kPidColumnCount));
  pidTable_->setObjectName(QStringLiteral("TablePids"));
  QStringList captions;
  for (const char* name : stream::kPidColumnNames) captions << QString::fromLatin1(name);
  pidTable_->setHorizontalHeaderLabels(captions);
  pidTable_->verticalHeader()->hide();
  pidTable_->verticalHeader()->setDefaultSectionSize(pidTable_->fontMetrics().height() +
                                                     kRowPadding);
  pidTable_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  pidTable_->horizontalHeader()->setStretchLastSection(true);
  pidTable_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  pidTable_->setMinimumHeight(kTableHeight);
}

void StreamMonitor::setEndpoint(const QString& address, int port) {
  address_->setText(address);
  port_->setValue(port);
}

bool StreamMonitor::listen() {
  stopListening();
  stream::ListenEndpoint endpoint;
  endpoint.address = address_->text().trimmed().toStdString();
  endpoint.port = port_->value();
  endpoint.source = source_->text().trimmed().toStdString();
  endpoint.interface = interface_->text().trimmed().toStdString();
  if (const auto problem = stream::endpointProblem(endpoint)) {
    status_->setText(text(*problem));
    return false;
  }
  if (!receiver_.start(endpoint)) {
    status_->setText(text(receiver_.error()));
    return false;
  }
  const std::string hint = stream::loopbackMulticastHint(endpoint);
  status_->setText(text(stream::listeningText(endpoint, receiver_.port()) + (hint.empty() ? "" : " Note: " + hint + ".")));
  showListening(true);
  timer_->start();
  refresh();
  return true;
}

void StreamMonitor::stopListening() {
  if (!receiver_.running()) return;
  const QString outcome = receiver_.recording() ? QLatin1Char(' ') + endRecording() : QString();
  refresh();
  receiver_.stop();
  timer_->stop();
  noStream_->hide();
  showListening(false);
  status_->setText(tr("Not listening.") + outcome);
}

void StreamMonitor::showListening(bool listening) {
  listenButton_->setText(listening ? tr("Stop") : tr("Listen"));
  recordButton_->setEnabled(listening);
  resetButton_->setEnabled(listening);
  for (QWidget* w : std::initializer_list<QWidget*>{address_, port_, source_, interface_})
    w->setEnabled(!listening);
}

bool StreamMonitor::startRecording(const QString& path) {
  std::string why;
  if (!receiver_.startRecording(path.toStdString(), why)) {
    status_->setText(tr("Cannot record: ") + text(why));
    return false;
  }
  recordButton_->setText(tr("Stop recording"));
  status_->setText(tr("Recording to ") + path);
  return true;
}

void StreamMonitor::stopRecording() {
  if (receiver_.recording()) status_->setText(endRecording());
}

QString StreamMonitor::endRecording() {
  const std::uint64_t written = receiver_.stopRecording();
  recordButton_->setText(tr("Record..."));
  return text(stream::recordOutcomeText(written, receiver_.recordError()));
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
  const QString path =
      QFileDialog::getSaveFileName(this, tr("Record transport stream"), QStringLiteral("stream.ts"),
                                   tr("Transport streams (*.ts)"));
  if (!path.isEmpty()) startRecording(path);
}

void StreamMonitor::refresh() {
  const stream::StreamSnapshot s = receiver_.snapshot();
  showView(stream::monitorView(s, receiver_.running(), stream::ClockPair::now()));
  showPids(s);
  // The time axis grows with the history up to its full length, a minute at least.
  std::chrono::seconds span = kPlotMinimumSpan;
  if (!s.history.empty())
    span = std::clamp(
        std::chrono::ceil<std::chrono::seconds>(s.history.back().at - s.history.front().at),
        kPlotMinimumSpan, kPlotSpan);
  plot_->setPoints(s.history, span);
}

void StreamMonitor::showView(const stream::MonitorView& view) {
  for (std::size_t i = 0; i < figures_.size(); ++i) figures_[i]->setText(text(view.figures[i]));
  if (view.dropsRed)
    paint(figure(SocketDrops), QColor(kFailureRgb));
  else
    figure(SocketDrops)->setStyleSheet(QString());
  for (std::size_t i = 0; i < indicators_.size(); ++i) {
    const stream::IndicatorView& v = view.indicators[i];
    const IndicatorRow& r = indicators_[i];
    r.count->setText(text(v.count));
    r.last->setText(text(v.lastFired));
    const QColor colour = lookColour(v.look);
    for (QLabel* label : {r.name, r.count, r.last}) paint(label, colour);
  }
  noStream_->setVisible(view.noStream);
  if (!view.status.empty()) status_->setText(text(view.status));
}

void StreamMonitor::showPids(const stream::StreamSnapshot& s) {
  using stream::PidColumn;
  pidTable_->setRowCount(static_cast<int>(s.pids.size()));
  for (std::size_t row = 0; row < s.pids.size(); ++row) {
    const stream::PidCounts& c = s.pids[row];
    const stream::PidRow cells = stream::pidRow(c, s.totals);
    for (std::size_t col = 0; col < cells.size(); ++col) {
      auto* item = new QTableWidgetItem(text(cells[col]));
      const auto column = static_cast<PidColumn>(col);
      const bool left = column == PidColumn::Carries || column == PidColumn::Clocks;
      item->setTextAlignment((left ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter);
      if (column == PidColumn::Continuity && c.continuityErrors)
        item->setBackground(QColor(kFailureRgb));
      pidTable_->setItem(static_cast<int>(row), static_cast<int>(col), item);
    }
  }
}

void StreamMonitor::closeEvent(QCloseEvent* event) {
  stopListening();
  event->accept();
}

}  // namespace vexil::app
