#include "instructions/DeviceQuery.h"

#include "messaging/ReportText.h"

namespace vexil {

namespace {
constexpr int kQvNetRadioIndex = 0;  // "QV-Net"; every other index means "Palvox"
}  // namespace

QueryChoice chooseQuery(int radioIndex) {
  if (radioIndex == kQvNetRadioIndex) return {&QvNetQuery(), TransactionState::QueryQvNetSent};
  return {&StatusQuery(), TransactionState::QueryStatusSent};
}

PageUpdate querySendFailed() {
  PageUpdate update;
  update.clearMemo = true;
  update.lines = {"Communication Error!", "Check your network connection!"};
  return update;
}

PageUpdate querySent(int hostPort, int devicePort, const std::string& address) {
  PageUpdate update;
  update.clearMemo = true;
  update.lines = {"Host Comuter Port: " + decimalText(hostPort),
                  "Device Port: " + decimalText(devicePort), "Device IP: " + address,
                  std::string(kSpaceLine), "Message sent, waiting for reply..."};
  return update;
}

PageUpdate queryNoAnswer() {
  PageUpdate update;
  update.lines = {"No answer received (in 1s)."};
  update.deviceCaption = "Device:";
  return update;
}

DeviceQuery::DeviceQuery(TransactionEngine& engine, Address address, Show show)
    : engine_(engine), address_(std::move(address)), show_(std::move(show)) {
  const auto noAnswer = [this](const Answer&) { show_(queryNoAnswer()); };
  engine_.setOutcome(TransactionState::QueryQvNetSent, noAnswer);
  engine_.setOutcome(TransactionState::QueryStatusSent, noAnswer);
  engine_.setOutcome(TransactionState::QueryQvNetAnswered,
                     [this](const Answer& a) { showAnswer(a, true); });
  engine_.setOutcome(TransactionState::QueryStatusAnswered,
                     [this](const Answer& a) { showAnswer(a, false); });
}

DeviceQuery::~DeviceQuery() {
  for (TransactionState state :
       {TransactionState::QueryQvNetSent, TransactionState::QueryStatusSent,
        TransactionState::QueryQvNetAnswered, TransactionState::QueryStatusAnswered}) {
    engine_.setOutcome(state, {});
  }
}

void DeviceQuery::query(int radioIndex) {
  const std::string address = address_();
  const QueryChoice choice = chooseQuery(radioIndex);
  if (!engine_.BeginTransaction(choice.sentState, *choice.frame, address)) {
    show_(querySendFailed());
    return;
  }
  show_(querySent(engine_.hostPort(), engine_.devicePort(), address));
}

void DeviceQuery::showAnswer(const Answer& answer, bool qvNet) {
  // The decoders see only the datagram's LastLength bytes, never what an earlier,
  // longer datagram left further on in the receive buffer.
  const AnswerReader datagram = answer.reader();
  const std::string address = address_();
  const int port = engine_.devicePort();
  show_(qvNet ? decodeQvNetAck(datagram, address, port)
              : decodeStatusRecord(datagram, address, port));
}

}  // namespace vexil
