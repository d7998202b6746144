// The texts of the instruction pages' status panels, shared by the General and Send TS
// pages.
#pragma once

namespace vexil::panel {

inline constexpr char kSendFailed[] = "Communication Error! Check your network connection!";
inline constexpr char kWaiting[] = "Message sent, waiting for reply...";
inline constexpr char kResetSent[] = "Reset sent.";
inline constexpr char kNoAck[] = "No ACK Received!";
inline constexpr char kAck[] = "ACK Received!";

}  // namespace vexil::panel
