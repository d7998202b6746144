// What the page tests on the engine share: the emulated board on loopback, an engine on
// a plain interface thread, and the panels and memo as the window holds them.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "instructions/PageColour.h"
#include "messaging/PageUpdate.h"
#include "messaging/PlainEngineHost.h"
#include "messaging/TransactionEngine.h"
#include "messaging/UdpEndpoint.h"
#include "sim/DeviceEmulator.h"

namespace vexil::testing {

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

constexpr const char* kLoopback = "127.0.0.1";

inline double msSince(EngineClock::time_point start) {
  return std::chrono::duration<double, std::milli>(EngineClock::now() - start).count();
}

// PanelGS with LabelGS, or PanelTS, as the window holds them.
struct Panel {
  std::string text = "Status";
  PageColour colour = PageColour::Failure;  // left over from an earlier outcome
  std::vector<PanelUpdate> steps;
  void apply(const PanelUpdate& u) {
    if (u.text) text = *u.text;
    colour = u.colour;
    steps.push_back(u);
  }
};

// MemoIns.
struct Memo {
  Lines lines{"Instruction Set Tester"};
  int updates = 0;
  void apply(const PageUpdate& u) {
    if (u.clearMemo) lines.clear();
    lines.insert(lines.end(), u.lines.begin(), u.lines.end());
    ++updates;
  }
  bool holds(const std::string& line) const {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }
};

// A socket that holds a port, so that the engine cannot bind it.
struct PortHolder {
  UdpEndpoint endpoint{[](const std::uint8_t*, std::size_t, std::size_t, const std::string&,
                          std::uint16_t) {}};
  int hold() { return endpoint.activate(0) ? endpoint.localPort() : 0; }
};

class PagesOnEngine : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(device.start(kLoopback, 0)) << device.error();
    engine.SetDevicePort(device.port());
    engine.SetHostPort(0);
  }
  void setFaults(void (*change)(sim::Faults&)) {
    sim::Faults f;
    change(f);
    device.setFaults(f);
  }
  void holdHostPort() {
    const int port = holder.hold();
    ASSERT_NE(port, 0);
    engine.SetHostPort(port);
  }
  // Runs the interface thread until the panel has taken `count` steps.
  bool panelSteps(const Panel& panel, std::size_t count, std::chrono::milliseconds limit = 3000ms) {
    return host.runUntil([&] { return panel.steps.size() >= count; }, limit);
  }

  sim::DeviceEmulator device;
  PlainEngineHost host;
  TransactionEngine engine{host};
  PortHolder holder;
  std::string address = kLoopback;
};

}  // namespace vexil::testing
