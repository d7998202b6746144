// The "Send TS" page without widgets: the three mode bytes, the Send TS and Don't Send
// TS frames, the destination boxes written back, and what PanelTS shows.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "instructions/EntryRules.h"
#include "instructions/PageColour.h"
#include "messaging/Frames.h"
#include "messaging/TransactionEngine.h"

namespace vexil {

/// Item indexes of the page's radio groups (-1 when none is selected).
inline constexpr int kTsFormatIptvIndex = 1;         // RadioGroupTSFormat: 0 QV-Net, 1 IPTV
inline constexpr int kAlwaysSendTsIndex = 1;         // RadioGroupITType: 0 Send TS, 1 Always
inline constexpr int kDataValidPinEnabledIndex = 1;  // RadioGroupDVPin: 0 Disabled, 1 Enabled
inline constexpr int kPacketFormat204Index = 1;      // RadioGroupPF: 0 188 bytes, 1 204 bytes

/// Destination used when any destination box does not convert.
inline constexpr AddressOctets kDestinationDefault{10, 123, 13, 201};
inline constexpr std::uint16_t kDestinationPortDefault = 56789;

/// The controls of the page as plain values.
struct SendTsEntries {
  int tsFormat = kTsFormatIptvIndex;  // RadioGroupTSFormat
  int instructionType = 0;            // RadioGroupITType
  int dataValidPin = 0;               // RadioGroupDVPin
  int tsSource = 0;                   // RadioGroupTSSource: item n is source n + 1
  AddressTexts destinationIp{"10", "123", "13", "201"};  // EditDIP1..EditDIP4
  std::string destinationPort = "56789";                 // EditDPort
  int qvNetSize = 1428;                                  // ScrollBarQVNetSize, 256..1428
  int packetNumber = 6;                                  // RadioGroupPN: item n is n + 1 packets
  bool removeNullPackets = false;                        // CheckBoxRN
  bool removeTspErrors = false;                          // CheckBoxRT
  int packetFormat = 0;                                  // RadioGroupPF
};

/// Mode[2], Mode[1] and Mode[0] of the selected input, as the status report shows them.
struct ModeBytes {
  std::uint8_t mode2 = 0;
  std::uint8_t mode1 = 0;
  std::uint8_t mode0 = 0;
};

/// The mode bytes of `entries`. Mode[2]: bit 0 Data Valid Pin enabled, bit 1 IPTV, bit 2
/// Always Send TS. IPTV: Mode[1] bits 7..5 the packet number, bit 2 remove TSP errors,
/// bit 1 remove null packets, bit 0 204 bytes; Mode[0] 0. Any other format (QV-Net, or
/// none selected): Mode[1] and Mode[0] the data size, high byte first.
ModeBytes composeModeBytes(const SendTsEntries& entries);

/// What "Send TS" sends and writes back.
struct SendTsRequest {
  Frame frame;                  // 58 bytes
  AddressTexts destinationIp;   // new texts of EditDIP1..EditDIP4
  std::string destinationPort;  // new text of EditDPort
};

/// The Send TS frame. The port and the four address boxes convert as one unit: if any
/// of the five does not convert, all five take their defaults (56789, 10.123.13.201).
/// Octets are reduced to their low 8 bits, the port to its low 16 bits.
SendTsRequest buildSendTs(const SendTsEntries& entries);

/// The 30-byte Don't Send TS frame for the source of item `tsSourceIndex`.
Frame buildDontSendTs(int tsSourceIndex);

/// The Send TS page's transactions on the engine: registers the outcome routines of the
/// two TS states and shows every step of PanelTS through `show`. Interface thread only;
/// the engine must outlive this object.
class TsRouting {
 public:
  using Show = std::function<void(const PanelUpdate&)>;
  using Address = std::function<std::string()>;

  TsRouting(TransactionEngine& engine, Address address, Show show);
  ~TsRouting();
  TsRouting(const TsRouting&) = delete;
  TsRouting& operator=(const TsRouting&) = delete;

  /// Sends `frame`: the panel goes to button face (text kept), then shows the waiting
  /// text or the failure. Returns whether the frame was sent.
  bool send(const Frame& frame);

 private:
  TransactionEngine& engine_;
  Address address_;
  Show show_;
};

}  // namespace vexil
