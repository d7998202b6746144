// What the Stream Monitor shows of a snapshot: an indicator is green only when it
// applies and the stream is there, the last time is local wall-clock time, drops are
// "n/a" when unknown, a failed recording is never reported as written, the PID row's
// marks, and the listening text of a multicast group.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

#include "stream/MonitorView.h"

using namespace vexil::stream;

namespace {

constexpr auto kAnyIndicator = Indicator::CrcError;
// 2024-01-01 12:34:56 UTC, in seconds since the epoch.
constexpr std::int64_t kNoonish = 1704112496;

StreamSnapshot snapshotWith(bool applicable, std::uint64_t packets, bool noStream, bool fired) {
  StreamSnapshot s;
  s.totals.applicable[indexOf(kAnyIndicator)] = applicable;
  s.totals.indicators[indexOf(kAnyIndicator)] = fired ? 3 : 0;
  s.totals.packets = packets;
  s.totals.noStream = noStream;
  s.red[indexOf(kAnyIndicator)] = fired;
  return s;
}

struct LookCase {
  const char* name;
  bool applicable;
  std::uint64_t packets;
  bool noStream;
  bool fired;
  IndicatorLook look;
  const char* count;
};

class IndicatorLookTest : public ::testing::TestWithParam<LookCase> {};

// Runs a test with the local time zone set to UTC, and puts the old one back.
class UtcZone {
 public:
  UtcZone() {
    if (const char* tz = std::getenv("TZ")) old_ = tz;
    setenv("TZ", "UTC", 1);
    tzset();
  }
  ~UtcZone() {
    if (old_)
      setenv("TZ", old_->c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
  }
  UtcZone(const UtcZone&) = delete;
  UtcZone& operator=(const UtcZone&) = delete;

 private:
  std::optional<std::string> old_;
};

std::string figure(const MonitorView& v, MonitorFigure f) {
  return v.figures[static_cast<std::size_t>(f)];
}
std::string column(const PidRow& row, PidColumn c) { return row[static_cast<std::size_t>(c)]; }

}  // namespace

TEST_P(IndicatorLookTest, GreenOnlyWhenItAppliesAndTheStreamIsThere) {
  const LookCase& c = GetParam();
  const IndicatorView v = indicatorView(snapshotWith(c.applicable, c.packets, c.noStream, c.fired),
                                        kAnyIndicator, ClockPair::now());
  EXPECT_EQ(v.look, c.look);
  EXPECT_EQ(v.count, c.count);
}

INSTANTIATE_TEST_SUITE_P(
    MonitorView, IndicatorLookTest,
    ::testing::Values(
        LookCase{"AppliesStreamThereQuiet", true, 100, false, false, IndicatorLook::Quiet, "0"},
        LookCase{"Fired", true, 100, false, true, IndicatorLook::Fired, "3"},
        LookCase{"CannotApply", false, 100, false, false, IndicatorLook::NotSeen, "n/a"},
        LookCase{"FiredAlthoughItCannotApply", false, 100, false, true, IndicatorLook::Fired,
                 "n/a"},
        LookCase{"StreamStopped", true, 100, true, false, IndicatorLook::NotSeen, "0"},
        LookCase{"NoPacketYet", true, 0, false, false, IndicatorLook::NotSeen, "0"},
        LookCase{"NothingAtAll", false, 0, true, false, IndicatorLook::NotSeen, "n/a"}),
    [](const ::testing::TestParamInfo<LookCase>& info) { return std::string(info.param.name); });

TEST(MonitorView, EveryIndicatorOfANewSnapshotIsGreyAndNotApplicable) {
  const MonitorView v = monitorView(StreamSnapshot{}, false, ClockPair::now());
  for (const IndicatorInfo& info : kIndicators) {
    EXPECT_EQ(v.indicators[indexOf(info.id)].look, IndicatorLook::NotSeen) << info.key;
    EXPECT_EQ(v.indicators[indexOf(info.id)].count, "n/a") << info.key;
    EXPECT_EQ(v.indicators[indexOf(info.id)].lastFired, "never") << info.key;
  }
  EXPECT_EQ(figure(v, MonitorFigure::PacketSize), "-");
}

TEST(MonitorView, LastFiredIsTheLocalTimeOfTheIncrease) {
  const UtcZone utc;
  const ClockPair now{TimePoint{} + std::chrono::hours(1),
                      std::chrono::system_clock::time_point(std::chrono::seconds(kNoonish))};
  StreamSnapshot s = snapshotWith(true, 100, false, true);
  EXPECT_EQ(indicatorView(s, kAnyIndicator, now).lastFired, "never");
  s.totals.lastFired[indexOf(kAnyIndicator)] = now.steady;
  EXPECT_EQ(indicatorView(s, kAnyIndicator, now).lastFired, "12:34:56");
  // A nanosecond earlier is still the second before, never rounded up.
  EXPECT_EQ(localTimeText(now.steady - std::chrono::nanoseconds(1), now), "12:34:55");
  EXPECT_EQ(localTimeText(now.steady - std::chrono::minutes(35), now), "11:59:56");
}

TEST(MonitorView, DropsAreNotApplicableWhenUnknownAndRedAboveZero) {
  const auto view = [](bool known, std::uint64_t drops) {
    StreamSnapshot s;
    s.dropsKnown = known;
    s.socketDrops = drops;
    return monitorView(s, true, ClockPair::now());
  };
  EXPECT_EQ(figure(view(false, 7), MonitorFigure::SocketDrops), "n/a");
  EXPECT_FALSE(view(false, 7).dropsRed);
  EXPECT_EQ(figure(view(true, 0), MonitorFigure::SocketDrops), "0");
  EXPECT_FALSE(view(true, 0).dropsRed);
  EXPECT_EQ(figure(view(true, 1), MonitorFigure::SocketDrops), "1");
  EXPECT_TRUE(view(true, 1).dropsRed);
}

TEST(MonitorView, NoStreamIsShownOnlyWhileListening) {
  StreamSnapshot s;
  s.totals.noStream = true;
  EXPECT_TRUE(monitorView(s, true, ClockPair::now()).noStream);
  EXPECT_FALSE(monitorView(s, false, ClockPair::now()).noStream);
  s.totals.noStream = false;
  EXPECT_FALSE(monitorView(s, true, ClockPair::now()).noStream);
}

TEST(MonitorView, FiguresComeFromRatesAndCounts) {
  StreamSnapshot s;
  s.rates.packetsPerSecond = 3500.04;
  s.rates.bitsPerSecond = 5264000;
  s.rates.nullShare = 0.1;
  s.totals.packetSize = 204;
  s.totals.indicators[indexOf(Indicator::SyncByteError)] = 6;
  s.totals.indicators[indexOf(Indicator::TsSyncLoss)] = 1;
  const MonitorView v = monitorView(s, true, ClockPair::now());
  EXPECT_EQ(figure(v, MonitorFigure::Packets), "3500.0");
  EXPECT_EQ(figure(v, MonitorFigure::BitRate), "5.264 Mb/s");
  EXPECT_EQ(figure(v, MonitorFigure::NullShare), "10.0 %");
  EXPECT_EQ(figure(v, MonitorFigure::PacketSize), "204 bytes");
  EXPECT_EQ(figure(v, MonitorFigure::SyncLosses), "6 / 1");
}

TEST(MonitorView, AFailedRecordingIsNeverReportedAsWritten) {
  StreamSnapshot s;
  EXPECT_TRUE(monitorView(s, true, ClockPair::now()).status.empty());
  s.recordError = "No space left on device";
  EXPECT_EQ(monitorView(s, true, ClockPair::now()).status,
            "Recording failed: No space left on device");
  EXPECT_EQ(recordOutcomeText(120, "No space left on device"),
            "Recording failed: No space left on device");
  EXPECT_EQ(recordOutcomeText(120, ""), "Recorded 120 packets.");
  EXPECT_EQ(recordOutcomeText(0, ""), "Recorded 0 packets.");
}

TEST(MonitorView, PidRowMarksClocksAndScrambledPackets) {
  StreamTotals totals;
  totals.packets = 400;
  PidCounts pid;
  pid.pid = 0x101;
  pid.packets = 100;
  pid.scrambledPackets = 9;
  const PidRow row = pidRow(pid, totals);
  EXPECT_EQ(column(row, PidColumn::Pid), "0x0101 (257)");
  EXPECT_EQ(column(row, PidColumn::Share), "25.00 %");
  EXPECT_EQ(column(row, PidColumn::Scrambled), "9");
  EXPECT_EQ(column(row, PidColumn::Clocks), "");
  pid.carriesPts = true;
  EXPECT_EQ(column(pidRow(pid, totals), PidColumn::Clocks), "PTS");
  pid.carriesPcr = true;
  EXPECT_EQ(column(pidRow(pid, totals), PidColumn::Clocks), "PCR PTS");
  pid.carriesPts = false;
  EXPECT_EQ(column(pidRow(pid, totals), PidColumn::Clocks), "PCR");
  EXPECT_EQ(column(pidRow(pid, StreamTotals{}), PidColumn::Share), "0.00 %");
}

TEST(MonitorView, ListeningTextNamesAMulticastGroup) {
  const auto text = [](const char* address, const char* source = "", const char* interface = "") {
    return listeningText(ListenEndpoint{address, 5004, source, interface}, 5004);
  };
  EXPECT_EQ(text("127.0.0.1"), "Listening on 127.0.0.1:5004 (UDP).");
  EXPECT_EQ(text("223.255.255.255"), "Listening on 223.255.255.255:5004 (UDP).");
  EXPECT_EQ(text("224.0.0.0"), "Listening on 224.0.0.0:5004 (UDP, multicast group).");
  EXPECT_EQ(
      text("239.1.1.1", "10.0.0.9", "127.0.0.1"),
      "Listening on 239.1.1.1:5004 (UDP, multicast group, source 10.0.0.9, interface 127.0.0.1).");
  EXPECT_EQ(text("240.0.0.1"), "Listening on 240.0.0.1:5004 (UDP).");
  EXPECT_FALSE(isMulticastGroup("239.1.1.1.5"));
  EXPECT_FALSE(isMulticastGroup("239.1.1"));
}

TEST(MonitorView, TheFirstAddressOfferedIsTheGroupTheBoardSendsTo) {
  EXPECT_EQ(firstListenAddress("239.1.1.1"), "239.1.1.1");   // the board's default
  EXPECT_EQ(firstListenAddress("224.0.0.1"), "224.0.0.1");
  EXPECT_EQ(firstListenAddress("223.255.255.255"), "127.0.0.1");
  EXPECT_EQ(firstListenAddress("240.0.0.1"), "127.0.0.1");
  EXPECT_EQ(firstListenAddress("127.0.0.1"), "127.0.0.1");
  EXPECT_EQ(firstListenAddress("10.1.2.3"), "127.0.0.1");     // unicast elsewhere: the emulator's loopback
  EXPECT_EQ(firstListenAddress("not an address"), "127.0.0.1");
}
