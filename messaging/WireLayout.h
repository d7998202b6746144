// Byte layout of the frames spoken with the Vexil device: every offset, length and
// opcode used on the wire is named here once. All multi-byte numbers are big-endian.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vexil::wire {

// ---- UDP ports -------------------------------------------------------------------
// The board listens on this port, and the program binds it as its host port unless
// the settings say otherwise.
inline constexpr int kDefaultPort = 56789;

// ---- Palvox header ---------------------------------------------------------------
inline constexpr std::size_t kMagicOffset = 0;
inline constexpr std::size_t kMagicLength = 6;            // "Palvox"
inline constexpr std::size_t kUserTextOffset = 6;
inline constexpr std::size_t kUserTextLength = 15;        // fixed, no terminator
inline constexpr std::size_t kFlagsOffset = 21;
inline constexpr std::size_t kHeaderLength = 22;
inline constexpr std::uint8_t kFlagsValue = 0x01;
inline constexpr char kPalvoxMagic[] = "Palvox";

// ---- Instruction: opcode, 16-bit length, data ------------------------------------
inline constexpr std::size_t kInstructionOpcodeOffset = 0;
inline constexpr std::size_t kInstructionLengthOffset = 1;
inline constexpr std::size_t kInstructionDataOffset = 3;
inline constexpr std::size_t kInstructionHeaderLength = 3;
inline constexpr std::size_t kMaxInstructionData = 0xFFFF;  // what `Length` can express

// ---- Opcodes ---------------------------------------------------------------------
inline constexpr std::uint8_t OpReset = 0x01;
inline constexpr std::uint8_t OpAckRequest = 0x03;
inline constexpr std::uint8_t OpSetSerial = 0x10;
inline constexpr std::uint8_t OpSetType = 0x11;
inline constexpr std::uint8_t OpSetUserText = 0x12;
inline constexpr std::uint8_t OpSetGatewayIP = 0x20;
inline constexpr std::uint8_t OpSetNetMask = 0x21;
inline constexpr std::uint8_t OpSetIP = 0x24;
inline constexpr std::uint8_t OpSendTS = 0x30;
inline constexpr std::uint8_t OpDontSendTS = 0x31;
inline constexpr std::uint8_t OpSetNCO = 0x40;
inline constexpr std::uint8_t OpAck = 0xF0;  // first record of an answer

// Data lengths of the instructions the pages compose.
inline constexpr std::size_t kResetDataLength = 2;
inline constexpr std::size_t kAckRequestDataLength = 1;
inline constexpr std::size_t kSetSerialDataLength = 4;
inline constexpr std::size_t kSetTypeDataLength = 2;
inline constexpr std::size_t kSetUserTextDataLength = 15;
inline constexpr std::size_t kSetGatewayIPDataLength = 17;
inline constexpr std::size_t kSetNetMaskDataLength = 16;
inline constexpr std::size_t kSetIPDataLength = 16;
inline constexpr std::size_t kSendTSDataLength = 29;
inline constexpr std::size_t kDontSendTSDataLength = 1;
inline constexpr std::size_t kSetNCODataLength = 5;

// Data byte of `OpAckRequest`.
inline constexpr std::uint8_t kAckRequestFullStatus = 0x01;
inline constexpr std::uint8_t kAckRequestShortAnswer = 0x00;
inline constexpr std::size_t kAckRequestTrailerLength = 4;

// ---- Answers ---------------------------------------------------------------------
inline constexpr std::size_t kReceiveBufferSize = 1500;   // longer datagrams are discarded
inline constexpr std::size_t kAnswerOpcodeOffset = 22;
inline constexpr std::size_t kShortAnswerLength = 41;     // the ACK of an instruction
inline constexpr std::size_t kStatusMinLength = 534;      // full status answer
inline constexpr std::size_t kExtensionMinLength = 662;   // model 7 extension block
inline constexpr std::size_t kManufacturerTestMinLength = 500;
inline constexpr std::size_t kInstructionTestBodyOffset = 22;

// ---- QV-Net ----------------------------------------------------------------------
inline constexpr std::size_t kQvNetQueryLength = 18;
inline constexpr std::size_t kQvNetAckLength = 25;
inline constexpr std::size_t kQvNetAckTypeOffset = 16;     // u16
inline constexpr std::size_t kQvNetAckSerialOffset = 18;   // u16
inline constexpr std::size_t kQvNetAckVersionMajorOffset = 23;
inline constexpr std::size_t kQvNetAckVersionMinorOffset = 24;

// ---- Sender texts ----------------------------------------------------------------
inline constexpr char kSenderText[] = "Quenthaven  ACK";      // 15 characters
inline constexpr char kManufacturerText[] = "Marovantis Ltd.";  // 15 characters

}  // namespace vexil::wire
