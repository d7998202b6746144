#include "ctl/WatchCommand.h"


#include <atomic>
#include <cstdio>
#include <ostream>
#include <thread>

#include "ctl/DeviceRun.h"
#include "ctl/Json.h"
#include "portable/Console.h"
#include "watch/BoardWatch.h"
#include "watch/MetricsServer.h"
#include "watch/WatchLog.h"
#if VEXIL_WITH_METRICS
#include "watch/WatchMetrics.h"
#endif

namespace vexil::ctl {
namespace {

constexpr char kName[] = "vexilctl watch: ";
constexpr double kPercent = 100.0;
// How often the signal watcher looks whether the watch ended by itself.
constexpr std::chrono::milliseconds kSignalPoll{100};

std::string percentText(const std::optional<double>& ratio) {
  if (!ratio) return "n/a";
  char text[32];
  std::snprintf(text, sizeof text, "%.1f %%", *ratio * kPercent);
  return text;
}

std::string fixed(double value, int places) {
  char text[48];
  std::snprintf(text, sizeof text, "%.*f", places, value);
  return text;
}

std::string padded(std::string text, std::size_t width) {
  if (text.size() < width) text.append(width - text.size(), ' ');
  return text;
}

// Takes the stop requests (SIGINT, SIGTERM and SIGHUP; Ctrl+C on Windows) on this
// thread, so in every thread started after, and waits for them on a thread of its own;
// one arriving stops the watch.
class SignalStop {
 public:
  explicit SignalStop(watch::BoardWatch& w) : requests_({.hangUp = true, .restoreDefault = false}) {
    waiter_ = std::thread([this, &w] {
      while (!done_.load()) {
        if (const int sig = requests_.waitFor(kSignalPoll); sig > 0) {
          caught_ = sig;
          w.stop();
          return;
        }
      }
    });
  }
  ~SignalStop() {
    done_ = true;
    waiter_.join();
  }
  int caught() const { return caught_.load(); }

 private:
  console::StopRequests requests_;
  std::atomic<bool> done_{false};
  std::atomic<int> caught_{0};
  std::thread waiter_;
};

}  // namespace

std::string watchSummaryText(const std::vector<watch::BoardSummary>& boards) {
  constexpr std::size_t kBoardWidth = 22;
  std::string text = padded("Board", kBoardWidth) +
                     "Polls  Answered  Alarms  Worst buffer  CRC increments  Ins. increments  Resets\n";
  for (const watch::BoardSummary& b : boards) {
    text += padded(b.board, kBoardWidth) + padded(std::to_string(b.polls), 7) +
            padded(std::to_string(b.answered), 10) + padded(std::to_string(b.alarms), 8) +
            padded(percentText(b.worstUsageRatio), 14) + padded(std::to_string(b.crcIncrements), 16) +
            padded(std::to_string(b.insIncrements), 17) + std::to_string(b.resets) + "\n";
  }
  return text;
}

std::string watchSummaryJson(const std::vector<watch::BoardSummary>& boards,
                             const watch::PaceSummary& pace, bool alarmed) {
  std::vector<std::string> list;
  for (const watch::BoardSummary& b : boards) {
    list.push_back(JsonObject()
                       .text("board", b.board)
                       .number("polls", static_cast<std::int64_t>(b.polls))
                       .number("answered", static_cast<std::int64_t>(b.answered))
                       .number("alarms", static_cast<std::int64_t>(b.alarms))
                       .raw("worst_buffer_usage_ratio",
                            b.worstUsageRatio ? fixed(*b.worstUsageRatio, 6) : std::string("null"))
                       .number("crc_increments", static_cast<std::int64_t>(b.crcIncrements))
                       .number("ins_increments", static_cast<std::int64_t>(b.insIncrements))
                       .number("resets", static_cast<std::int64_t>(b.resets))
                       .raw("worst_answer_ms", fixed(b.worstAnswerMs, 3))
                       .str());
  }
  const auto ms = [](std::chrono::microseconds us) { return fixed(us.count() / 1000.0, 3); };
  return JsonObject()
      .raw("boards", jsonArray(list))
      .number("rounds", static_cast<std::int64_t>(pace.rounds))
      .number("late_rounds", static_cast<std::int64_t>(pace.lateRounds))
      .raw("worst_round_ms", ms(pace.worstRound))
      .raw("worst_start_delay_ms", ms(pace.worstStartDelay))
      .boolean("alarmed", alarmed)
      .str();
}

int runWatch(const Invocation& inv, int hostPort, std::ostream& out, std::ostream& err) {
  watch::WatchSettings settings;
  for (const DeviceTarget& d : inv.devices) settings.boards.push_back({d.address, d.port});
  settings.interval = inv.watch.interval;
  settings.timeout = inv.timeout;
  settings.hostPort = hostPort;
  settings.alarms = inv.watch.alarms;
  if (const std::string problem = watch::BoardWatch::problemWith(settings); !problem.empty()) {
    err << kName << problem << "\n";
    return kExitUsage;
  }

  if (inv.watch.metrics) {
    if (const char* why = watch::metricsUnavailableReason()) {
      err << kName << why << "\n";
      return kExitUsage;
    }
  }

  watch::BoardWatch boardWatch(settings);
  // Before any thread starts, so that all of them leave the stop signals to the waiter.
  SignalStop signals(boardWatch);

  watch::WatchLog log;
  std::string error;
  if (inv.watch.logPath && !log.open(*inv.watch.logPath, error)) {
    err << kName << error << "\n";
    return kExitUsage;
  }
#if VEXIL_WITH_METRICS
  std::unique_ptr<watch::MetricsServer> server;
  std::shared_ptr<watch::WatchMetrics> metrics;
  if (inv.watch.metrics) {
    server = std::make_unique<watch::MetricsServer>();
    if (!server->start(*inv.watch.metrics, error)) {
      err << kName << error << "\n";
      return kExitUsage;
    }
    metrics = std::make_shared<watch::WatchMetrics>();
    server->add(metrics);
    err << kName << "metrics at http://" << inv.watch.metrics->address << ":" << server->port()
        << "/metrics\n";
  }
#endif
  err << kName << "watching " << settings.boards.size()
      << (settings.boards.size() == 1 ? " board" : " boards") << " every "
      << fixed(std::chrono::duration<double>(settings.interval).count(), 3) << " s"
      << (inv.watch.duration
              ? " for " + fixed(std::chrono::duration<double>(*inv.watch.duration).count(), 3) + " s"
              : std::string(" until interrupted (Ctrl+C)"))
      << "\n";
  err.flush();

  bool logFailed = false;
  std::string logError;
  const auto observer = [&](const watch::WatchRound& round) {
    for (const watch::AlarmEvent& e : round.events) err << kName << watch::alarmLine(e) << "\n";
    if (!round.events.empty()) err.flush();
#if VEXIL_WITH_METRICS
    if (metrics) metrics->update(round);
#endif
    if (log.isOpen() && !logFailed) {
      for (const watch::PollSample& s : round.samples) {
        if (!log.append(s, logError)) {
          logFailed = true;
          err << kName << logError << "; the watch goes on without its log\n";
          break;
        }
      }
    }
  };
  if (!boardWatch.run(inv.watch.duration, observer, error)) {
    err << kName << error << "\n";
    return kExitUsage;
  }
  if (signals.caught() != 0) err << kName << "stopped by signal " << signals.caught() << "\n";

  const std::vector<watch::BoardSummary> boards = boardWatch.summaries();
  bool alarmed = false;
  for (const watch::BoardSummary& b : boards) {
    if (b.alarms > 0) alarmed = true;
    if (b.answered == 0) {
      // Nothing seen is never a clean bill of health.
      alarmed = true;
      if (b.polls > 0) err << kName << b.board << ": never answered\n";
    }
  }
  out << (inv.json ? watchSummaryJson(boards, boardWatch.pace(), alarmed) + "\n" : watchSummaryText(boards));
  out.flush();
  if (logFailed) return kExitNotAcknowledged;  // the time series is not whole
  return alarmed ? kExitNotAcknowledged : kExitAcknowledged;
}

}  // namespace vexil::ctl
