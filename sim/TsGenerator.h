// The synthetic transport stream of one board input: a PAT, a PMT, one or two
// elementary streams with PCR, and null packets, with correct continuity counters.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <vector>

#include "sim/StreamFaults.h"
#include "stream/TsPacket.h"

namespace vexil::sim {

/// The PIDs of input n (1..4): PMT 0x100 * n, video 0x100 * n + 1 (also the PCR PID),
/// and for odd inputs audio 0x100 * n + 2. Program number n, transport_stream_id n.
struct InputProgram {
  std::uint16_t programNumber = 1;
  std::uint16_t pmtPid = 0x100;
  std::uint16_t videoPid = 0x101;
  std::uint16_t audioPid = 0;  // 0: none

  static InputProgram forInput(int input);
};

using Packet = std::array<std::uint8_t, stream::kPacketSize>;

/// Makes one packet after another. The PAT and the PMT go out every `kPsiPeriod` of
/// stream time, the PCR with them; between them every tenth packet is a null packet
/// and the rest elementary-stream packets, a PES packet starting every
/// `kPesPackets`. Packet faults are applied here, datagram faults by the sender. Not
/// thread-safe.
class TsGenerator {
 public:
  static constexpr std::chrono::milliseconds kPsiPeriod{40};
  static constexpr int kNullEvery = 10;
  static constexpr int kPesPackets = 20;
  static constexpr std::uint8_t kVideoStreamType = 0x02;  // MPEG-2 video
  static constexpr std::uint8_t kAudioStreamType = 0x03;  // MPEG-1 audio

  explicit TsGenerator(int input);

  /// The next packet at stream time `at` (since this input started sending, never
  /// going backwards), with `faults` applied.
  Packet next(std::chrono::nanoseconds at, const StreamFaults& faults);

  const InputProgram& program() const { return program_; }
  std::uint64_t packetsMade() const { return made_; }

 private:
  enum class Kind { Pat, Pmt, Pcr, Video, Audio, Null };
  Kind pick(std::chrono::nanoseconds at, const StreamFaults& faults);
  Packet section(std::uint16_t pid, const std::vector<std::uint8_t>& section);
  Packet pcrPacket(std::chrono::nanoseconds at);
  Packet elementary(std::uint16_t pid, std::uint8_t streamId);
  std::uint8_t nextCc(std::uint16_t pid);
  void applyFaults(Packet& p, bool elementaryStream, const StreamFaults& faults);

  InputProgram program_;
  std::vector<std::uint8_t> pat_;
  std::vector<std::uint8_t> pmt_;
  std::array<std::uint8_t, stream::kPidCount> cc_{};
  std::array<std::uint32_t, 2> pesCount_{};  // packets into the PES of video, audio
  std::chrono::nanoseconds lastPsi_{-kPsiPeriod};
  int pending_ = 0;             // PSI packets still to send: PMT then PCR
  std::uint64_t made_ = 0;
  std::uint64_t elementaryMade_ = 0;
  std::uint64_t slot_ = 0;       // packets between the tables, for the mix
  int syncLossLeft_ = 0;        // packets still to spoil for a sync loss
};

}  // namespace vexil::sim
