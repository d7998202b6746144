// The "General" page without widgets: the frame each button sends, the texts it writes
// back into its boxes, and what the status panel (PanelGS with LabelGS) shows.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "instructions/EntryRules.h"
#include "instructions/PageColour.h"
#include "messaging/Frames.h"
#include "messaging/TransactionEngine.h"

namespace vexil {

/// Item indexes of RadioGroupReset.
inline constexpr int kPdiResetIndex = 0;
inline constexpr int kSystemResetIndex = 1;
inline constexpr int kSdiResetIndex = 2;

/// Defaults of the entries that do not convert.
inline constexpr std::uint32_t kSerialDefault = 0;
inline constexpr std::uint16_t kTypeDefault = 0;
inline constexpr std::uint32_t kNcoDefault = 1000000;  // Hz
inline constexpr AddressOctets kIpDefault{10, 123, 13, 101};
inline constexpr AddressOctets kNetMaskDefault{255, 0, 0, 0};
inline constexpr AddressOctets kGatewayDefault{10, 123, 13, 1};

/// The three address rows of the page.
enum class AddressRow { Ip, NetMask, Gateway };

/// What one button of the page sends.
struct GeneralRequest {
  Frame frame;
  /// The new texts of the button's edit boxes, in box order (EditSerial; EditType; the
  /// four boxes of an address row; the button's NCO box); empty when none is rewritten.
  std::vector<std::string> rewritten;
  bool reset = false;        // the Reset button: LabelGS reads "Reset sent." before the send
  bool systemReset = false;  // "System Reset": sent without waiting, no outcome follows
};

/// Set Serial: EditSerial converted (0 when it does not convert), 4 bytes.
GeneralRequest buildSetSerial(std::string_view serialText);
/// Set Type: the low 16 bits of EditType converted (0 when it does not convert).
GeneralRequest buildSetType(std::string_view typeText);
/// Reset: the reset type byte (the item index's low 8 bits, 0xFF for none) and the reset
/// time byte (the scroll bar's position, 1..255).
GeneralRequest buildReset(int resetTypeIndex, int resetTimeMs);
/// Set User Text: the 15 bytes of EditUT's 8-bit text; the box is not rewritten.
GeneralRequest buildSetUserText(std::string_view latin1Text);
/// Set IP, Set NetMask or Set GatewayIP (gateway mode 1 first) from the row's four boxes.
GeneralRequest buildSetAddress(AddressRow row, const AddressTexts& texts);
/// Set NCO for `channel` 1..4: the box's frequency in Hz, unscaled (1000000 when it does
/// not convert).
GeneralRequest buildSetNco(int channel, std::string_view frequencyText);

/// The General page's transactions on the engine: registers the outcome routines of the
/// two general-instruction states and shows every step of PanelGS through `show`.
/// Interface thread only; the engine must outlive this object.
class GeneralInstructions {
 public:
  using Show = std::function<void(const PanelUpdate&)>;
  using Address = std::function<std::string()>;  // the caption of LabelIPAddr now

  GeneralInstructions(TransactionEngine& engine, Address address, Show show);
  ~GeneralInstructions();
  GeneralInstructions(const GeneralInstructions&) = delete;
  GeneralInstructions& operator=(const GeneralInstructions&) = delete;

  /// Sends `request` to the device address: the panel goes to button face ("Reset
  /// sent." for a reset), then shows the waiting text or the failure. A system reset is
  /// sent without waiting and keeps "Reset sent.". Returns whether the frame was sent.
  bool send(const GeneralRequest& request);

 private:
  TransactionEngine& engine_;
  Address address_;
  Show show_;
};

}  // namespace vexil
