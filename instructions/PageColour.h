// The colours a page shows, by role. The page logic names the role; the window maps it
// to the desktop's colour or to the fixed RGB value.
#pragma once

#include <optional>
#include <string>

namespace vexil {

enum class PageColour {
  ButtonFace,  // the desktop's button-face colour: an outcome still open
  Failure,     // RGB FF0000: a failure or a missing ACK
  Success,     // RGB C0DCC0: the ACK received
  EditBase,    // the desktop's edit-box background: a box confirmed with Enter
  Typed,       // RGB C7CDB4: a box typed into since it was last confirmed
};

/// One step of a status panel (PanelGS, PanelTS, the manufacturer indicators): its new
/// text, unset when the text stays, and its face.
struct PanelUpdate {
  std::optional<std::string> text;
  PageColour colour = PageColour::ButtonFace;
};

}  // namespace vexil
