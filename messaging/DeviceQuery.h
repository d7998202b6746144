// The Query operation of the main page, free of widgets: which frame the Query button
// sends, what the page shows while it waits or when nothing comes, and how the two
// possible answers (the QV-Net ACK and the Palvox status record) become the lines of
// MemoInfo and the caption of LabelD.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "AnswerReader.h"
#include "Frames.h"
#include "TransactionEngine.h"
#include "TransactionState.h"

namespace vexil {

/// What one step of the Query operation does to the main page.
struct PageUpdate {
  bool clearMemo = false;                    // clear MemoInfo first
  std::vector<std::string> lines;            // then append these lines (8-bit text, Latin-1)
  std::optional<std::string> deviceCaption;  // new caption of LabelD, if it changes
};

/// The frame the Query button sends and the state recorded before it leaves.
struct QueryChoice {
  const Frame* frame;
  TransactionState sentState;
};

/// Radio index 0 chooses the 18-byte QV-Net identity query (QueryQvNetSent); every other
/// index, -1 included, the 26-byte Palvox status query (QueryStatusSent).
QueryChoice chooseQuery(int radioIndex);

/// The page after a failed send: MemoInfo cleared, then the two failure lines.
PageUpdate querySendFailed();

/// The page after a successful send: MemoInfo cleared, then the host port, the device
/// port, the device address, a line holding one space and the waiting line.
PageUpdate querySent(int hostPort, int devicePort, const std::string& address);

/// One second without an answer: the no-answer line is appended (MemoInfo kept) and
/// LabelD goes back to "Device:".
PageUpdate queryNoAnswer();

/// The answer to the QV-Net query. Accepted only when exactly 25 bytes long; anything
/// else is reported with its length and leaves LabelD alone. `datagram` is the received
/// datagram (its length is LastLength); `address` is the device address text.
PageUpdate decodeQvNetAck(const AnswerReader& datagram, const std::string& address,
                          int devicePort);

/// The answer to the Palvox status query. Accepted only when at least 534 bytes long
/// with OpAck (0xF0) at offset 22; then every line of the report in order, the channel,
/// peripheral and (model 7, at least 662 bytes) extension sections included. Nothing is
/// read at or beyond the datagram's length.
PageUpdate decodeStatusRecord(const AnswerReader& datagram, const std::string& address,
                              int devicePort);

/// The Query button's operation on the engine: registers the outcome routines of the
/// four query states with the engine and shows every update through `show`. Interface
/// thread only; the engine must outlive this object.
class DeviceQuery {
 public:
  using Show = std::function<void(const PageUpdate&)>;
  using Address = std::function<std::string()>;  // the caption of LabelIPAddr at this moment

  DeviceQuery(TransactionEngine& engine, Address address, Show show);
  /// Removes the four outcome routines again, so the engine never calls into a
  /// released object.
  ~DeviceQuery();
  DeviceQuery(const DeviceQuery&) = delete;
  DeviceQuery& operator=(const DeviceQuery&) = delete;

  /// Sends the query chosen by `radioIndex` (the item index of RadioGroupAP, -1 for none)
  /// to the current device address and shows the waiting or failure lines.
  void ButtonQueryClick(int radioIndex);

 private:
  void showAnswer(bool qvNet);

  TransactionEngine& engine_;
  Address address_;
  Show show_;
};

}  // namespace vexil
