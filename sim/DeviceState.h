// What the emulated Vexil board knows about itself: the values its answers report and
// its instructions change.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace vexil::sim {

using Mac = std::array<std::uint8_t, 6>;
using IPv4 = std::array<std::uint8_t, 4>;

/// Time since the board was powered on. The counters and rates of the status record
/// are worked out from it when the record is built, so a test can freeze it.
using BoardClock = std::function<std::chrono::milliseconds()>;

/// A clock that runs from the moment it is made (steady, never jumps).
inline BoardClock runningClock() {
  const auto poweredOn = std::chrono::steady_clock::now();
  return [poweredOn] {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - poweredOn);
  };
}

/// A clock stopped at `uptime`.
inline BoardClock frozenClock(std::chrono::milliseconds uptime) {
  return [uptime] { return uptime; };
}

/// One transport-stream input: where the board sends the stream it takes in.
struct InputChannel {
  Mac destMac{};
  IPv4 destIp{};
  std::uint16_t destPort = 0;
  std::uint8_t destMode = 0;      // 0 me, 1 broadcast, 2 IP, 3 manual
  std::uint8_t state = 0;         // 0 stopped, 1 sending, 2 searching MAC, 3 searching gateway
  std::uint8_t mode2 = 0;         // bit 0 DV pin, bit 1 IPTV format, bit 2 always send
  std::uint8_t mode1 = 0;         // IPTV: bit 0 204-byte, bit 1 null remover, bits 7-5 number
  std::uint8_t mode0 = 0;         // QV-Net: size = mode1 * 256 + mode0
};

/// One transport-stream output: the stream the board receives and plays out.
struct OutputChannel {
  IPv4 multicastIp{};
  std::uint16_t receivePort = 0;
  std::uint8_t mode = 0;  // bit 7 enabled, 6 multicast, 5 auto format, 4 204-byte,
                          // 3 DV pin, 2 null inserter, 1 error remover, 0 null remover
};

/// The trap function: where and how the board reports external and overflow events.
struct TrapFunction {
  Mac mac{};
  IPv4 ip{};
  std::uint8_t mode = 0;           // bit 7 enabled, bit 6 SNMP (clear: UDP)
  std::uint8_t state = 0;          // 0 off, 1 sending, 2 searching MAC, 3 searching gateway
  std::uint8_t externalMask = 0;
  std::uint8_t overflowMask = 0;
  std::uint8_t external = 0;
  std::uint8_t overflow = 0;
};

/// One channel of the IP remultiplexer. Its input rate and buffer usage move around
/// their nominal values as the board runs; the swings are 0 for a steady channel.
struct RemuxChannel {
  std::uint32_t rate = 0;          // packets per second, 20 bits
  std::uint32_t rateSwing = 0;     // the rate moves within rate +- rateSwing
  std::uint32_t bufferSize = 1;    // packets, 1 to 131072
  std::uint32_t usage = 0;         // packets, 17 bits
  std::uint32_t usageSwing = 0;    // the usage moves within usage +- usageSwing
  bool overflowLed = false;
  bool overflowSinceReset = false;
};

/// The IP remultiplexer extension (model 7 only).
struct RemuxExtension {
  std::uint8_t selfTest = 0;
  std::uint8_t ethernetVersion = 0;             // Ethernet controller and PID filter
  std::array<std::uint8_t, 4> channelVersion{};
  std::uint8_t pcr12Version = 0;                // PCR corrector 1-2
  std::uint8_t pcr34Version = 0;                // PCR corrector 3-4
  std::array<RemuxChannel, 4> channels{};
};

/// Everything the emulated board reports in its answers, with the values a freshly
/// powered board of the bench holds. Copied freely; the clock is shared by copies.
struct DeviceState {
  // ---- Identity -------------------------------------------------------------------
  std::uint16_t deviceType = 7163;
  std::uint32_t serial = 5000;
  std::uint8_t versionMajor = 1;
  std::uint8_t versionMinor = 5;
  std::uint8_t model = 7;                   // 0..7; 7 is the IP remultiplexer
  std::array<std::uint8_t, 15> userText{};  // the board's own 15-byte text

  // ---- Configuration and status ---------------------------------------------------
  std::uint16_t configWord = 0x0200;        // bit 8 locked, 0/1 compatibility, 9 IRQ type
  std::uint16_t selector = 0;
  std::uint8_t gpo = 0;
  std::uint8_t externalTrapState = 0;
  std::uint8_t overflowState = 0;
  std::uint8_t linkSpeed = 2;               // 0 off, 1 10 Mbps, 2 100 Mbps, 3 1000 Mbps

  // ---- Network --------------------------------------------------------------------
  std::array<std::uint8_t, 4> ipAddress{10, 123, 13, 101};
  std::array<std::uint8_t, 4> netMask{255, 255, 255, 0};
  std::array<std::uint8_t, 4> gatewayIp{10, 123, 13, 1};
  std::uint8_t macMode = 0;                 // 0 QV auto, 1 manual, 2 auto
  Mac primaryMac{0x00, 0x50, 0xC2, 0x3A, 0x10, 0x01};
  Mac secondaryMac{0x00, 0x50, 0xC2, 0x3A, 0x10, 0x02};
  std::uint8_t gatewayMode = 1;             // 0 none, 1 manual IP, 2 auto
  std::uint8_t gatewayState = 1;            // 0 none, 1 known, 2 searching MAC, 3 searching IP
  Mac gatewayMac{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
  std::uint8_t arpPeriod = 30;              // seconds, 0 = off

  // ---- Transport streams ----------------------------------------------------------
  // Out of the box: input 1 sends IPTV to a multicast group, input 2 is set up for
  // QV-Net format but stopped, the others are idle.
  std::array<InputChannel, 4> inputs{
      InputChannel{{0x01, 0x00, 0x5E, 0x01, 0x01, 0x01}, {239, 1, 1, 1}, 5001, 2, 1,
                   0x03, 0xE0, 0x00},
      InputChannel{{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x60}, {10, 123, 13, 20}, 5002, 3, 0,
                   0x00, 0x05, 0x94},
      InputChannel{}, InputChannel{}};
  std::uint16_t tsPortHigh = 6100;
  std::uint16_t tsPortLow = 6000;
  std::uint8_t igmpPeriod = 25;             // units of 400 ms, 0 = automatic report off
  bool igmpSwitchPresent = false;
  Mac igmpSwitchMac{};
  IPv4 igmpSwitchIp{};
  std::array<OutputChannel, 4> outputs{OutputChannel{{239, 2, 2, 1}, 6001, 0xE0},
                                       OutputChannel{{0, 0, 0, 0}, 6002, 0x10},
                                       OutputChannel{}, OutputChannel{}};

  // ---- Peripherals ----------------------------------------------------------------
  std::uint8_t iicDivider = 61;             // IIC clock is 6.25 MHz / (divider + 1)
  std::uint8_t iicError = 0;
  std::array<std::int32_t, 4> ncoFrequency{1000000, 1000000, 1000000, 1000000};
  TrapFunction trap{};
  std::array<std::uint8_t, 32> userData{};

  // ---- Counters: the value at each start and how fast it grows (16-bit, wrap) ------
  std::uint16_t insPacketCounter = 0;
  std::uint32_t insPacketsPerSecond = 120;
  std::uint16_t crcErrorCounter = 0;
  std::uint32_t crcErrorsPerMinute = 1;

  RemuxExtension remux{0x00, 3, {2, 2, 2, 2}, 1, 1,
                       {RemuxChannel{3500, 200, 65536, 12000, 3000, false, false},
                        RemuxChannel{2800, 150, 65536, 9000, 2000, false, false},
                        RemuxChannel{0, 0, 65536, 0, 0, false, false},
                        RemuxChannel{0, 0, 65536, 0, 0, false, false}}};

  /// Bytes of the status answer; unset: 662 for model 7, 534 for the others. A longer
  /// answer is zero-filled, a shorter one cut.
  std::optional<std::size_t> statusLength;

  /// The board's time since power-on.
  BoardClock clock = runningClock();
  /// The clock's reading when the board last started: 0 at power-on, moved up to the
  /// clock's reading by a system reset. Counters and rates run from here, so a restart
  /// brings them back to their power-on values, with a frozen clock as well.
  std::chrono::milliseconds startedAt{0};

  /// Time since the board last started: clock() - startedAt, never below 0 (a clock
  /// that is unset reads 0).
  std::chrono::milliseconds uptime() const;
};

/// Fills a user text from `text`: cut to 15 bytes or filled with blanks.
std::array<std::uint8_t, 15> deviceText(const std::string& text);

}  // namespace vexil::sim
