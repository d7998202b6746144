// The Query operation of the main page, free of widgets: which frame the Query button
// sends, what the page shows while it waits or when nothing comes, and which decoder
// (messaging/StatusReport.h) turns the answer into the lines of MemoInfo and the caption
// of LabelD.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "messaging/Frames.h"
#include "messaging/PageUpdate.h"
#include "messaging/StatusReport.h"
#include "messaging/TransactionEngine.h"
#include "messaging/TransactionState.h"

namespace vexil {

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
  void query(int radioIndex);

 private:
  void showAnswer(const Answer& answer, bool qvNet);

  TransactionEngine& engine_;
  Address address_;
  Show show_;
};

}  // namespace vexil
