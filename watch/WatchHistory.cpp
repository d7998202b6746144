#include "watch/WatchHistory.h"

#include "watch/WatchLog.h"

namespace vexil::watch {
namespace {

constexpr double kPercent = 100.0;

}  // namespace

bool perChannel(Quantity q) { return q == Quantity::InputRate || q == Quantity::BufferUsagePercent; }

const char* quantityTitle(Quantity q) {
  switch (q) {
    case Quantity::InputRate: return "Input rate (packets/s)";
    case Quantity::BufferUsagePercent: return "Buffer usage (%)";
    case Quantity::CrcIncrements: return "CRC errors per poll";
    case Quantity::AnswerMs: return "Answer time (ms)";
  }
  return "";
}

void WatchHistory::clear() {
  boards_.clear();
  byBoard_.clear();
  alarms_.clear();
  rows_.clear();
}

void WatchHistory::trim(Board& b, WallClock::time_point newest) {
  while (!b.samples.empty() && newest - b.samples.front().time > kSpan) b.samples.pop_front();
}

void WatchHistory::add(const WatchRound& round) {
  for (const PollSample& s : round.samples) {
    auto [it, made] = byBoard_.try_emplace(s.board);
    if (made) boards_.push_back(s.board);
    Board& b = it->second;
    Sample x;
    x.time = s.time;
    x.answered = s.answered;
    if (s.answered) {
      b.everAnswered = true;
      x.crc = static_cast<double>(s.crcIncrement);
      x.answerMs = s.answerMs;
      for (std::size_t n = 0; n < status::kChannelCount; ++n) {
        x.hasExtension[n] = s.channels[n].hasExtension;
        x.rate[n] = s.channels[n].inputRatePacketsPerSecond;
        x.usagePercent[n] = s.channels[n].usageRatio * kPercent;
      }
    }
    b.samples.push_back(x);
    trim(b, s.time);
    rows_.emplace_back(s.time, watchCsvRow(s));
  }
  while (!rows_.empty() && rows_.back().first - rows_.front().first > kSpan) rows_.pop_front();
  for (const AlarmEvent& e : round.events) {
    alarms_.push_back(e);
    byBoard_[e.board].active[{e.kind, e.channel}] = e.active;
  }
}

std::vector<HistoryPoint> WatchHistory::line(const std::string& board, Quantity q, int channel) const {
  std::vector<HistoryPoint> points;
  const auto it = byBoard_.find(board);
  if (it == byBoard_.end()) return points;
  const bool channels = perChannel(q);
  if (channels && (channel < 1 || channel > static_cast<int>(status::kChannelCount))) return points;
  const std::size_t n = channels ? static_cast<std::size_t>(channel - 1) : 0;
  for (const Sample& s : it->second.samples) {
    if (!s.answered) continue;  // not seen: a gap, never a made-up value
    switch (q) {
      case Quantity::InputRate:
        if (s.hasExtension[n]) points.push_back({s.time, s.rate[n]});
        break;
      case Quantity::BufferUsagePercent:
        if (s.hasExtension[n]) points.push_back({s.time, s.usagePercent[n]});
        break;
      case Quantity::CrcIncrements: points.push_back({s.time, s.crc}); break;
      case Quantity::AnswerMs: points.push_back({s.time, s.answerMs}); break;
    }
  }
  return points;
}

BoardLook WatchHistory::look(const std::string& board) const {
  const auto it = byBoard_.find(board);
  if (it == byBoard_.end()) return BoardLook::Waiting;
  for (const auto& [key, on] : it->second.active)
    if (on) return BoardLook::Alarmed;
  if (!it->second.everAnswered || it->second.samples.empty()) return BoardLook::Waiting;
  return it->second.samples.back().answered ? BoardLook::Answering : BoardLook::NoAnswer;
}

std::size_t WatchHistory::activeAlarms() const {
  std::size_t count = 0;
  for (const auto& [name, b] : byBoard_)
    for (const auto& [key, on] : b.active) count += on ? 1 : 0;
  return count;
}

std::string WatchHistory::csv() const {
  std::string text = watchCsvHeader() + "\n";
  for (const auto& [time, row] : rows_) text += row + "\n";
  return text;
}

}  // namespace vexil::watch
