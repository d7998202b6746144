#include "app/BoardWatchWindow.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <cmath>

#include "app/Appearance.h"
#include "app/RatePlot.h"
#include "ctl/StrictEntries.h"

namespace vexil::app {
namespace {

using watch::BoardLook;
using watch::Quantity;

constexpr int kMargin = 6;
constexpr int kLabelWidth = 56;
constexpr int kLegendHeight = 14;
constexpr double kMinimumSpanSeconds = 60;
constexpr double kGapIntervals = 2.5;  // points further apart than this are not joined
constexpr int kBoardListHeight = 72;
constexpr QSize kDefaultSize(980, 760);
constexpr std::chrono::milliseconds kStandardWait{1000};  // the window's status query wait
constexpr double kIntervalMinSeconds = watch::kIntervalMinSeconds;
constexpr double kIntervalMaxSeconds = watch::kIntervalMaxSeconds;
// One colour a channel, the same in every plot and its legend.
const std::array<QColor, 4> kChannelColours = {QColor(0, 90, 170), QColor(200, 80, 0),
                                               QColor(0, 140, 60), QColor(150, 40, 160)};
const QColor kGrid(210, 210, 210);
constexpr QRgb kNoAnswerRgb = 0xFFE080;  // answered before, not the last poll

enum AlarmColumn { kTimeColumn, kBoardColumn, kChannelColumn, kAlarmColumn, kEventColumn, kDetailColumn, kColumns };

QColor lookColour(BoardLook look) {
  switch (look) {
    case BoardLook::Waiting: return QColor(kNotSeenRgb);
    case BoardLook::NoAnswer: return QColor(kNoAnswerRgb);
    case BoardLook::Answering: return QColor(kSuccessRgb);
    case BoardLook::Alarmed: return QColor(kFailureRgb);
  }
  return QColor(kNotSeenRgb);
}

const char* lookText(BoardLook look) {
  switch (look) {
    case BoardLook::Waiting: return "waiting for an answer";
    case BoardLook::NoAnswer: return "no answer to the last poll";
    case BoardLook::Answering: return "answering";
    case BoardLook::Alarmed: return "alarm";
  }
  return "";
}

QString clockText(watch::WallClock::time_point t) {
  const std::string iso = watch::isoTime(t);  // 2026-12-09T07:50:01.123Z
  return QString::fromStdString(iso.substr(0, 10) + " " + iso.substr(11, 12));
}

}  // namespace

// ---- HistoryPlot -------------------------------------------------------------------

HistoryPlot::HistoryPlot(Quantity quantity, QWidget* parent) : QWidget(parent), quantity_(quantity) {
  setMinimumHeight(130);
  setAutoFillBackground(true);
  QPalette p = palette();
  p.setColor(QPalette::Window, Qt::white);
  setPalette(p);
}

void HistoryPlot::setLines(std::vector<std::vector<watch::HistoryPoint>> lines,
                           watch::WallClock::time_point now, std::chrono::milliseconds interval) {
  lines_ = std::move(lines);
  now_ = now;
  interval_ = interval;
  update();
}

std::size_t HistoryPlot::pointCount() const {
  std::size_t n = 0;
  for (const auto& l : lines_) n += l.size();
  return n;
}

void HistoryPlot::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QColor text = palette().color(QPalette::WindowText);
  painter.setPen(text);
  painter.drawText(QRect(kMargin, 0, width() - 2 * kMargin, kLegendHeight), Qt::AlignLeft,
                   QString::fromLatin1(watch::quantityTitle(quantity_)));
  const bool channels = watch::perChannel(quantity_);
  if (channels) {
    int x = width() - kMargin - 4 * 46;
    for (std::size_t n = 0; n < kChannelColours.size(); ++n, x += 46) {
      painter.fillRect(x, 5, 10, 4, kChannelColours[n]);
      painter.drawText(QRect(x + 12, 0, 34, kLegendHeight), Qt::AlignLeft, QStringLiteral("ch %1").arg(n + 1));
    }
  }
  const QRect area(kLabelWidth, kLegendHeight + 2, width() - kLabelWidth - kMargin,
                   height() - kLegendHeight - 2 * kMargin - 12);
  double highest = 0;
  watch::WallClock::time_point oldest = now_;
  for (const auto& line : lines_) {
    for (const auto& p : line) {
      highest = std::max(highest, p.value);
      oldest = std::min(oldest, p.time);
    }
  }
  const double top = roundScale(highest);
  const double span = std::max(kMinimumSpanSeconds, std::chrono::duration<double>(now_ - oldest).count());
  painter.setPen(kGrid);
  for (int i = 0; i <= 4; ++i) {
    const int y = area.bottom() - area.height() * i / 4;
    painter.drawLine(area.left(), y, area.right(), y);
    painter.setPen(text);
    painter.drawText(QRect(0, y - 8, kLabelWidth - 4, 16), Qt::AlignRight | Qt::AlignVCenter,
                     QString::number(top * i / 4, 'g', 4));
    painter.setPen(kGrid);
  }
  painter.setPen(text);
  painter.drawText(QRect(area.left(), area.bottom() + 1, area.width(), 12), Qt::AlignLeft,
                   span < 120 ? QStringLiteral("-%1 s").arg(std::lround(span))
                              : QStringLiteral("-%1 min").arg(span / 60, 0, 'f', 1));
  painter.drawText(QRect(area.left(), area.bottom() + 1, area.width(), 12), Qt::AlignRight,
                   QStringLiteral("now"));
  if (pointCount() == 0) {
    painter.drawText(area, Qt::AlignCenter, QStringLiteral("nothing seen yet"));
    return;
  }
  painter.setRenderHint(QPainter::Antialiasing);
  const double gap = kGapIntervals * std::chrono::duration<double>(interval_).count();
  for (std::size_t n = 0; n < lines_.size(); ++n) {
    QPainterPath path;
    const watch::HistoryPoint* last = nullptr;
    for (const auto& p : lines_[n]) {
      const double age = std::chrono::duration<double>(now_ - p.time).count();
      const double x = area.right() - area.width() * std::min(age, span) / span;
      const double y = area.bottom() - area.height() * p.value / top;
      const bool joined = last && std::chrono::duration<double>(p.time - last->time).count() <= gap;
      if (joined) path.lineTo(x, y); else path.moveTo(x, y);
      if (!joined) path.addEllipse(QPointF(x, y), 1, 1);  // a lone point still shows
      last = &p;
    }
    painter.setPen(QPen(channels ? kChannelColours[n % kChannelColours.size()] : kChannelColours[0], 1.5));
    painter.drawPath(path);
  }
}

// ---- BoardWatchWindow --------------------------------------------------------------

BoardWatchWindow::BoardWatchWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName(QStringLiteral("BoardWatch"));
  setWindowTitle(QStringLiteral("Board Watch"));
  auto* layout = new QVBoxLayout(this);

  auto* boards = new QGroupBox(QStringLiteral("Boards"), this);
  auto* boardsLayout = new QGridLayout(boards);
  boardList_ = new QListWidget(boards);
  boardList_->setObjectName(QStringLiteral("BoardList"));
  boardList_->setFixedHeight(kBoardListHeight);
  boardEdit_ = new QLineEdit(boards);
  boardEdit_->setObjectName(QStringLiteral("BoardEdit"));
  boardEdit_->setPlaceholderText(QStringLiteral("A.B.C.D[:PORT]"));
  add_ = new QPushButton(QStringLiteral("Add"), boards);
  add_->setObjectName(QStringLiteral("AddBoard"));
  remove_ = new QPushButton(QStringLiteral("Remove"), boards);
  remove_->setObjectName(QStringLiteral("RemoveBoard"));
  boardsLayout->addWidget(boardList_, 0, 0, 2, 1);
  boardsLayout->addWidget(boardEdit_, 0, 1);
  boardsLayout->addWidget(add_, 0, 2);
  boardsLayout->addWidget(remove_, 1, 2);
  layout->addWidget(boards);

  auto* controls = new QHBoxLayout;
  controls->addWidget(new QLabel(QStringLiteral("Interval (s):"), this));
  interval_ = new QLineEdit(QStringLiteral("1"), this);
  interval_->setObjectName(QStringLiteral("IntervalEdit"));
  interval_->setMaximumWidth(70);
  controls->addWidget(interval_);
  start_ = new QPushButton(QStringLiteral("Start"), this);
  start_->setObjectName(QStringLiteral("StartButton"));
  stop_ = new QPushButton(QStringLiteral("Stop"), this);
  stop_->setObjectName(QStringLiteral("StopButton"));
  export_ = new QPushButton(QStringLiteral("Export CSV..."), this);
  export_->setObjectName(QStringLiteral("ExportButton"));
  controls->addWidget(start_);
  controls->addWidget(stop_);
  controls->addWidget(export_);
  controls->addSpacing(16);
  controls->addWidget(new QLabel(QStringLiteral("Plots of:"), this));
  boardChoice_ = new QComboBox(this);
  boardChoice_->setObjectName(QStringLiteral("BoardChoice"));
  boardChoice_->setMinimumContentsLength(22);
  controls->addWidget(boardChoice_);
  controls->addStretch();
  layout->addLayout(controls);
  status_ = new QLabel(this);
  status_->setObjectName(QStringLiteral("WatchStatus"));
  layout->addWidget(status_);

  auto* plots = new QGridLayout;
  for (std::size_t q = 0; q < watch::kQuantityCount; ++q) {
    plots_[q] = new HistoryPlot(static_cast<Quantity>(q), this);
    plots_[q]->setObjectName(QStringLiteral("Plot%1").arg(q + 1));
    plots->addWidget(plots_[q], static_cast<int>(q / 2), static_cast<int>(q % 2));
  }
  layout->addLayout(plots, 3);

  activeAlarms_ = new QLabel(this);
  activeAlarms_->setObjectName(QStringLiteral("ActiveAlarms"));
  activeAlarms_->setAutoFillBackground(true);
  activeAlarms_->setMargin(3);
  layout->addWidget(activeAlarms_);
  alarmTable_ = new QTableWidget(0, kColumns, this);
  alarmTable_->setObjectName(QStringLiteral("AlarmTable"));
  alarmTable_->setHorizontalHeaderLabels({QStringLiteral("Time (UTC)"), QStringLiteral("Board"),
                                          QStringLiteral("Channel"), QStringLiteral("Alarm"),
                                          QStringLiteral("Event"), QStringLiteral("Detail")});
  alarmTable_->horizontalHeader()->setStretchLastSection(true);
  alarmTable_->verticalHeader()->setVisible(false);
  alarmTable_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  alarmTable_->setColumnWidth(kTimeColumn, 170);
  alarmTable_->setColumnWidth(kBoardColumn, 130);
  alarmTable_->setColumnWidth(kChannelColumn, 60);
  layout->addWidget(alarmTable_, 2);

  connect(add_, &QPushButton::clicked, this, [this] {
    if (addBoard(boardEdit_->text())) boardEdit_->clear();
  });
  connect(boardEdit_, &QLineEdit::returnPressed, add_, &QPushButton::click);
  connect(remove_, &QPushButton::clicked, this, [this] { delete boardList_->currentItem(); });
  connect(start_, &QPushButton::clicked, this, [this] { start(); });
  connect(stop_, &QPushButton::clicked, this, [this] { stop(); });
  connect(export_, &QPushButton::clicked, this, [this] {
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Export CSV"), QString(),
                                                      QStringLiteral("CSV files (*.csv)"));
    if (!path.isEmpty()) exportCsv(path);
  });
  connect(boardChoice_, &QComboBox::currentIndexChanged, this, [this] { showPlots(); });
  resize(kDefaultSize);
  showState();
}

BoardWatchWindow::~BoardWatchWindow() { stop(); }

void BoardWatchWindow::closeEvent(QCloseEvent* event) {
  stop();
  QWidget::closeEvent(event);
}

void BoardWatchWindow::setDevice(const QString& address, int port) {
  const QString text = address + QLatin1Char(':') + QString::number(port);
  if (boardList_->count() > 0 && boardList_->item(0)->data(Qt::UserRole).toBool()) delete boardList_->item(0);
  for (int i = 0; i < boardList_->count(); ++i)
    if (boardList_->item(i)->text() == text) delete boardList_->item(i--);
  auto* item = new QListWidgetItem(text);
  item->setData(Qt::UserRole, true);  // the main page's device
  boardList_->insertItem(0, item);
}

bool BoardWatchWindow::addBoard(const QString& text) {
  const auto checked = ctl::checkDevice(text.trimmed().toStdString(), kDefaultDevicePort);
  if (!checked.value) {
    status_->setText(QString::fromStdString(checked.error));
    return false;
  }
  const QString label = QString::fromStdString(checked.value->label());
  for (int i = 0; i < boardList_->count(); ++i) {
    if (boardList_->item(i)->text() == label) {
      status_->setText(label + QStringLiteral(" is in the list already"));
      return false;
    }
  }
  boardList_->addItem(label);
  status_->clear();
  return true;
}

std::vector<watch::BoardAddress> BoardWatchWindow::listedBoards() const {
  std::vector<watch::BoardAddress> list;
  for (int i = 0; i < boardList_->count(); ++i) {
    const auto checked = ctl::checkDevice(boardList_->item(i)->text().toStdString(), kDefaultDevicePort);
    if (checked.value) list.push_back({checked.value->address, checked.value->port});
  }
  return list;
}

bool BoardWatchWindow::start() {
  if (running()) return true;
  bool ok = false;
  const double seconds = interval_->text().trimmed().toDouble(&ok);
  if (!ok || !std::isfinite(seconds) || seconds < kIntervalMinSeconds || seconds > kIntervalMaxSeconds) {
    status_->setText(QStringLiteral("The interval must be a number of seconds from %1 to %2")
                         .arg(kIntervalMinSeconds)
                         .arg(kIntervalMaxSeconds));
    return false;
  }
  watch::WatchSettings settings;
  settings.boards = listedBoards();
  settings.interval = std::chrono::milliseconds(std::llround(seconds * 1000));
  settings.timeout = std::min(kStandardWait, settings.interval);
  if (const std::string problem = watch::BoardWatch::problemWith(settings); !problem.empty()) {
    status_->setText(QString::fromStdString(problem));
    return false;
  }
  history_.clear();
  alarmTable_->setRowCount(0);
  runningInterval_ = settings.interval;
  watch_ = std::make_unique<watch::BoardWatch>(settings);
  watch::BoardWatch* w = watch_.get();
  thread_ = std::thread([this, w] {
    std::string error;
    const auto observer = [this](const watch::WatchRound& round) {
      // Each round is copied to the interface thread; one that arrives after the window
      // is gone is dropped with it.
      QMetaObject::invokeMethod(this, [this, round] { onRound(round); }, Qt::QueuedConnection);
    };
    if (!w->run(std::nullopt, observer, error)) {
      QMetaObject::invokeMethod(
          this, [this, error] { status_->setText(QStringLiteral("Cannot watch: ") + QString::fromStdString(error)); },
          Qt::QueuedConnection);
    }
  });
  status_->setText(QStringLiteral("Watching %1 board(s) every %2 s").arg(settings.boards.size()).arg(seconds));
  showState();
  return true;
}

void BoardWatchWindow::stop() {
  if (watch_) watch_->stop();
  if (thread_.joinable()) thread_.join();
  const bool wasRunning = watch_ != nullptr;
  watch_.reset();
  if (wasRunning) status_->setText(QStringLiteral("Stopped"));
  showState();
}

bool BoardWatchWindow::exportCsv(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
    status_->setText(QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()));
    return false;
  }
  const std::string text = history_.csv();
  if (file.write(text.data(), static_cast<qint64>(text.size())) != static_cast<qint64>(text.size()) ||
      !file.flush()) {
    status_->setText(QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()));
    return false;
  }
  status_->setText(QStringLiteral("%1 rows written to %2").arg(history_.rowCount()).arg(path));
  return true;
}

void BoardWatchWindow::onRound(const watch::WatchRound& round) {
  history_.add(round);
  for (const watch::AlarmEvent& e : round.events) {
    const int row = alarmTable_->rowCount();
    alarmTable_->insertRow(row);
    const QStringList cells = {clockText(e.time), QString::fromStdString(e.board),
                               e.channel > 0 ? QString::number(e.channel) : QString(),
                               QString::fromLatin1(watch::alarmName(e.kind).data(),
                                                   static_cast<int>(watch::alarmName(e.kind).size())),
                               e.active ? QStringLiteral("started") : QStringLiteral("cleared"),
                               QString::fromStdString(e.detail)};
    for (int c = 0; c < kColumns; ++c) {
      auto* item = new QTableWidgetItem(cells[c]);
      if (e.active) item->setBackground(QColor(kFailureRgb).lighter(170));
      alarmTable_->setItem(row, c, item);
    }
  }
  if (!round.events.empty()) alarmTable_->scrollToBottom();
  showBoards();
  showPlots();
  showState();
}

void BoardWatchWindow::showBoards() {
  for (int i = 0; i < boardList_->count(); ++i) {
    QListWidgetItem* item = boardList_->item(i);
    const std::string label = item->text().toStdString();
    const BoardLook look = history_.look(label);
    item->setBackground(lookColour(look));
    item->setToolTip(QString::fromLatin1(lookText(look)));
  }
  for (const std::string& b : history_.boards()) {
    const QString label = QString::fromStdString(b);
    if (boardChoice_->findText(label) < 0) boardChoice_->addItem(label);
  }
}

void BoardWatchWindow::showPlots() {
  const std::string board = boardChoice_->currentText().toStdString();
  watch::WallClock::time_point now{};
  for (std::size_t q = 0; q < watch::kQuantityCount; ++q) {
    const auto quantity = static_cast<Quantity>(q);
    std::vector<std::vector<watch::HistoryPoint>> lines;
    if (watch::perChannel(quantity)) {
      for (int ch = 1; ch <= static_cast<int>(status::kChannelCount); ++ch)
        lines.push_back(history_.line(board, quantity, ch));
    } else {
      lines.push_back(history_.line(board, quantity));
    }
    for (const auto& l : lines)
      if (!l.empty()) now = std::max(now, l.back().time);
    if (now == watch::WallClock::time_point{}) now = watch::WallClock::now();
    plots_[q]->setLines(std::move(lines), now, runningInterval_);
  }
}

void BoardWatchWindow::showState() {
  const bool on = running();
  start_->setEnabled(!on);
  stop_->setEnabled(on);
  add_->setEnabled(!on);
  remove_->setEnabled(!on);
  boardEdit_->setEnabled(!on);
  interval_->setEnabled(!on);
  const std::size_t active = history_.activeAlarms();
  bool allSeen = !history_.boards().empty();
  for (const std::string& b : history_.boards())
    if (history_.look(b) != BoardLook::Answering) allSeen = false;
  QPalette p = activeAlarms_->palette();
  if (active > 0) {
    activeAlarms_->setText(QStringLiteral("Active alarms: %1").arg(active));
    p.setColor(QPalette::Window, QColor(kFailureRgb));
  } else if (allSeen) {
    activeAlarms_->setText(QStringLiteral("No active alarm; every board answers"));
    p.setColor(QPalette::Window, QColor(kSuccessRgb));
  } else {
    // Green only for what has been seen.
    activeAlarms_->setText(history_.boards().empty() ? QStringLiteral("Not watching")
                                                     : QStringLiteral("No active alarm; not every board has answered"));
    p.setColor(QPalette::Window, QColor(kNotSeenRgb));
  }
  activeAlarms_->setPalette(p);
}

}  // namespace vexil::app
