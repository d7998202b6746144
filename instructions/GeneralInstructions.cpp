#include "instructions/GeneralInstructions.h"

#include "instructions/PanelTexts.h"
#include "messaging/IntegerText.h"
#include "messaging/WireLayout.h"

namespace vexil {
namespace {

// The description each frame carries in its header: a blank, the words, blanks to 15.
constexpr char kSerialText[] = " Set Serial";
constexpr char kTypeText[] = " Set Type";
constexpr char kResetText[] = " Reset";
constexpr char kUserTextText[] = " Set User Text";
constexpr char kIpText[] = " Set IP";
constexpr char kNetMaskText[] = " Set NetMask";
constexpr char kGatewayText[] = " Set GatewayIP";
constexpr char kNcoTextStem[] = " Set NCO ";

// The 16-byte address field: twelve zero bytes, then the four octets in dotted order.
constexpr std::size_t kAddressFieldLength = 16;
constexpr std::size_t kAddressFieldOctetsAt = 12;
// The gateway's field is preceded by its mode: 1, a manually set gateway.
constexpr std::uint8_t kManualGatewayMode = 0x01;

void appendBigEndian(std::vector<std::uint8_t>& data, std::uint32_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) data.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

GeneralRequest fixedRequest(const char* description, std::uint8_t opcode,
                            const std::vector<std::uint8_t>& data) {
  GeneralRequest request;
  request.frame = buildFixedFrame(makeUserText(description), opcode, data);
  return request;
}

std::vector<std::uint8_t> addressField(const AddressOctets& octets) {
  std::vector<std::uint8_t> field(kAddressFieldLength, 0x00);
  for (std::size_t i = 0; i < octets.size(); ++i) field[kAddressFieldOctetsAt + i] = octets[i];
  return field;
}

}  // namespace

GeneralRequest buildSetSerial(std::string_view serialText) {
  const std::uint32_t serial = parseUnsigned32Entry(serialText).value_or(kSerialDefault);
  std::vector<std::uint8_t> data;
  appendBigEndian(data, serial, wire::kSetSerialDataLength);
  GeneralRequest request = fixedRequest(kSerialText, wire::OpSetSerial, data);
  request.rewritten = {std::to_string(serial)};
  return request;
}

GeneralRequest buildSetType(std::string_view typeText) {
  const auto converted = parseIntegerText(typeText);
  const std::uint16_t type = converted ? lowWord(*converted) : kTypeDefault;
  std::vector<std::uint8_t> data;
  appendBigEndian(data, type, wire::kSetTypeDataLength);
  GeneralRequest request = fixedRequest(kTypeText, wire::OpSetType, data);
  request.rewritten = {std::to_string(type)};
  return request;
}

GeneralRequest buildReset(int resetTypeIndex, int resetTimeMs) {
  const std::vector<std::uint8_t> data{lowByte(resetTypeIndex), lowByte(resetTimeMs)};
  GeneralRequest request = fixedRequest(kResetText, wire::OpReset, data);
  request.reset = true;
  request.systemReset = resetTypeIndex == kSystemResetIndex;
  return request;
}

GeneralRequest buildSetUserText(std::string_view latin1Text) {
  const UserText text = userTextField(latin1Text);
  return fixedRequest(kUserTextText, wire::OpSetUserText,
                      std::vector<std::uint8_t>(text.begin(), text.end()));
}

GeneralRequest buildSetAddress(AddressRow row, const AddressTexts& texts) {
  const char* description = kIpText;
  std::uint8_t opcode = wire::OpSetIP;
  AddressOctets defaults = kIpDefault;
  std::vector<std::uint8_t> data;
  switch (row) {
    case AddressRow::Ip:
      break;
    case AddressRow::NetMask:
      description = kNetMaskText;
      opcode = wire::OpSetNetMask;
      defaults = kNetMaskDefault;
      break;
    case AddressRow::Gateway:
      description = kGatewayText;
      opcode = wire::OpSetGatewayIP;
      defaults = kGatewayDefault;
      data.push_back(kManualGatewayMode);
      break;
  }
  const AddressOctets octets = addressRowOctets(texts, defaults);
  const std::vector<std::uint8_t> field = addressField(octets);
  data.insert(data.end(), field.begin(), field.end());
  GeneralRequest request = fixedRequest(description, opcode, data);
  const AddressTexts shown = addressRowTexts(octets);
  request.rewritten.assign(shown.begin(), shown.end());
  return request;
}

GeneralRequest buildSetNco(int channel, std::string_view frequencyText) {
  const std::uint32_t frequency = parseUnsigned32Entry(frequencyText).value_or(kNcoDefault);
  std::vector<std::uint8_t> data{lowByte(channel)};
  appendBigEndian(data, frequency, wire::kSetNCODataLength - 1);
  const std::string description = kNcoTextStem + std::to_string(channel);
  GeneralRequest request = fixedRequest(description.c_str(), wire::OpSetNCO, data);
  request.rewritten = {std::to_string(frequency)};
  return request;
}

GeneralInstructions::GeneralInstructions(TransactionEngine& engine, Address address, Show show)
    : engine_(engine), address_(std::move(address)), show_(std::move(show)) {
  // The content of the answer is not examined: the engine's state says whether a
  // 41-byte datagram came.
  engine_.setOutcome(TransactionState::GeneralInstructionSent, [this](const Answer&) {
    show_({panel::kNoAck, PageColour::Failure});
  });
  engine_.setOutcome(TransactionState::GeneralInstructionAnswered, [this](const Answer&) {
    show_({panel::kAck, PageColour::Success});
  });
}

GeneralInstructions::~GeneralInstructions() {
  engine_.setOutcome(TransactionState::GeneralInstructionSent, {});
  engine_.setOutcome(TransactionState::GeneralInstructionAnswered, {});
}

bool GeneralInstructions::send(const GeneralRequest& request) {
  const std::string address = address_();
  PanelUpdate pressed;
  if (request.reset) pressed.text = panel::kResetSent;
  show_(pressed);
  const TransactionState sentState = TransactionState::GeneralInstructionSent;
  const bool sent = request.systemReset
                        ? engine_.SendOnly(sentState, request.frame, address)
                        : engine_.BeginTransaction(sentState, request.frame, address);
  if (!sent) {
    show_({panel::kSendFailed, PageColour::Failure});
  } else if (!request.systemReset) {
    show_({panel::kWaiting, PageColour::ButtonFace});
  }
  return sent;
}

}  // namespace vexil
