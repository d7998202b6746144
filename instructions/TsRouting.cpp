#include "instructions/TsRouting.h"

#include <vector>

#include "instructions/PanelTexts.h"
#include "messaging/IntegerText.h"
#include "messaging/WireLayout.h"

namespace vexil {
namespace {

constexpr char kSendTsText[] = " Send TS";
constexpr char kDontSendTsText[] = " Dont Send TS";

// Mode[2].
constexpr std::uint8_t kMode2DataValidPin = 0x01;
constexpr std::uint8_t kMode2Iptv = 0x02;
constexpr std::uint8_t kMode2AlwaysSend = 0x04;
// Mode[1] in IPTV format.
constexpr int kMode1PacketNumberShift = 5;  // bits 7..5, 3 bits
constexpr std::uint8_t kMode1PacketNumberMask = 0x07;
constexpr std::uint8_t kMode1RemoveTspErrors = 0x04;
constexpr std::uint8_t kMode1RemoveNullPackets = 0x02;
constexpr std::uint8_t kMode1Packet204 = 0x01;

// Send TS data after the source and the mode bytes: the destination mode (2: an IP
// destination), eighteen zero bytes, the IPv4 address and the port.
constexpr std::uint8_t kDestinationModeIp = 0x02;
constexpr std::size_t kZeroBytesBeforeAddress = 18;

}  // namespace

ModeBytes composeModeBytes(const SendTsEntries& e) {
  ModeBytes m;
  const bool iptv = e.tsFormat == kTsFormatIptvIndex;
  if (e.dataValidPin == kDataValidPinEnabledIndex) m.mode2 |= kMode2DataValidPin;
  if (iptv) m.mode2 |= kMode2Iptv;
  if (e.instructionType == kAlwaysSendTsIndex) m.mode2 |= kMode2AlwaysSend;
  if (iptv) {
    const auto packets =
        static_cast<std::uint8_t>(lowByte(e.packetNumber + 1) & kMode1PacketNumberMask);
    m.mode1 = static_cast<std::uint8_t>(packets << kMode1PacketNumberShift);
    if (e.removeTspErrors) m.mode1 |= kMode1RemoveTspErrors;
    if (e.removeNullPackets) m.mode1 |= kMode1RemoveNullPackets;
    if (e.packetFormat == kPacketFormat204Index) m.mode1 |= kMode1Packet204;
    m.mode0 = 0;
  } else {
    m.mode1 = static_cast<std::uint8_t>(lowWord(e.qvNetSize) >> 8);
    m.mode0 = lowByte(e.qvNetSize);
  }
  return m;
}

SendTsRequest buildSendTs(const SendTsEntries& e) {
  // Converted in the page's order: the port first, then the four octets.
  AddressOctets octets = kDestinationDefault;
  std::uint16_t port = kDestinationPortDefault;
  const auto convertedPort = parseIntegerText(e.destinationPort);
  bool allConvert = convertedPort.has_value();
  for (std::size_t i = 0; i < octets.size() && allConvert; ++i) {
    const auto value = parseIntegerText(e.destinationIp[i]);
    if (!value) {
      allConvert = false;
    } else {
      octets[i] = lowByte(*value);
    }
  }
  if (allConvert) {
    port = lowWord(*convertedPort);
  } else {
    octets = kDestinationDefault;
  }

  const ModeBytes mode = composeModeBytes(e);
  std::vector<std::uint8_t> data{lowByte(e.tsSource + 1), mode.mode2, mode.mode1, mode.mode0,
                                 kDestinationModeIp};
  data.insert(data.end(), kZeroBytesBeforeAddress, 0x00);
  data.insert(data.end(), octets.begin(), octets.end());
  data.push_back(static_cast<std::uint8_t>(port >> 8));
  data.push_back(static_cast<std::uint8_t>(port & 0xFF));

  SendTsRequest request;
  request.frame = buildFixedFrame(makeUserText(kSendTsText), wire::OpSendTS, data);
  request.destinationIp = addressRowTexts(octets);
  request.destinationPort = std::to_string(port);
  return request;
}

Frame buildDontSendTs(int tsSourceIndex) {
  const std::uint8_t source = lowByte(tsSourceIndex + 1);
  return buildFixedFrame(makeUserText(kDontSendTsText), wire::OpDontSendTS, {&source, 1});
}

TsRouting::TsRouting(TransactionEngine& engine, Address address, Show show)
    : engine_(engine), address_(std::move(address)), show_(std::move(show)) {
  engine_.setOutcome(TransactionState::TsInstructionSent, [this](const Answer&) {
    show_({panel::kNoAck, PageColour::Failure});
  });
  engine_.setOutcome(TransactionState::TsInstructionAnswered, [this](const Answer&) {
    show_({panel::kAck, PageColour::Success});
  });
}

TsRouting::~TsRouting() {
  engine_.setOutcome(TransactionState::TsInstructionSent, {});
  engine_.setOutcome(TransactionState::TsInstructionAnswered, {});
}

bool TsRouting::send(const Frame& frame) {
  const std::string address = address_();
  show_({std::nullopt, PageColour::ButtonFace});
  if (!engine_.BeginTransaction(TransactionState::TsInstructionSent, frame, address)) {
    show_({panel::kSendFailed, PageColour::Failure});
    return false;
  }
  show_({panel::kWaiting, PageColour::ButtonFace});
  return true;
}

}  // namespace vexil
