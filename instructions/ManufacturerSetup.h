// The "Manufacturer Setup" page without widgets: the two-step test and configuration of
// a board (its status answer must name type 7163; then the maker's name is written into
// its user text and must come back in the answer), with the texts of LabelTest,
// LabelTest1 and LabelTest2 and the colours of the three indicators.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "instructions/PageColour.h"
#include "messaging/TransactionEngine.h"

namespace vexil {

/// The only board type the set-up accepts.
inline constexpr std::uint16_t kManufacturerDeviceType = 7163;

/// One step of the page; unset members stay as they are.
struct SetupUpdate {
  std::optional<std::string> status;        // LabelTest
  std::optional<std::string> targetDevice;  // LabelTest1
  std::optional<std::string> userText;      // LabelTest2
  std::optional<PageColour> communication;  // PanelTest1
  std::optional<PageColour> setup;          // PanelTest2
  std::optional<PageColour> selfTest;       // PanelTest3 (never red)
};

/// " Version " + major + "." + the last two digits of minor + 1000 (minor 5: "05").
std::string setupVersionText(std::uint8_t major, std::uint8_t minor);

/// Step one's judgement of the status answer. Shorter than 500 bytes or without OpAck at
/// offset 22: unknown (LabelTest1 names `address`). Otherwise the target device line;
/// `proceed` only for type 7163.
struct StepOneResult {
  SetupUpdate update;
  bool proceed = false;
};
StepOneResult judgeTestAnswer(std::span<const std::uint8_t> answer, const std::string& address);

/// Step two's judgement of the configuration answer. Only bytes of the answer itself are
/// judged: LabelTest2 shows the part of the user text (offsets 6..20) that the answer
/// holds; an answer shorter than 23 bytes, or without OpAck at offset 22, is unknown;
/// otherwise the 15 bytes must equal "Marovantis Ltd." exactly.
SetupUpdate judgeConfigurationAnswer(std::span<const std::uint8_t> answer);

/// The sequence on the engine: registers the outcome routines of the four manufacturer
/// states and shows every step through `show`. Another transaction, from this page or
/// any other, drops a running sequence without a word. Interface thread only; the
/// engine must outlive this object.
class ManufacturerSetup {
 public:
  using Show = std::function<void(const SetupUpdate&)>;
  using Address = std::function<std::string()>;

  ManufacturerSetup(TransactionEngine& engine, Address address, Show show);
  ~ManufacturerSetup();
  ManufacturerSetup(const ManufacturerSetup&) = delete;
  ManufacturerSetup& operator=(const ManufacturerSetup&) = delete;

  /// "Test and Configure": resets the indicators and sends the test query.
  void start();

 private:
  void stepOne(const Answer& answer);

  TransactionEngine& engine_;
  Address address_;
  Show show_;
};

}  // namespace vexil
