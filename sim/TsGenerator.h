// The synthetic transport stream of one board input: a PAT, a PMT, one or two
// elementary streams with PTS, a constant-rate PCR, optional data streams and a CAT,
// and null packets, with correct continuity counters.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <vector>

#include "sim/ProgramClock.h"
#include "sim/StreamFaults.h"
#include "sim/TsTables.h"

namespace vexil::sim {

/// The PIDs of input n (1..4): PMT 0x100 * n, video 0x100 * n + 1 (also the PCR PID),
/// for odd inputs audio 0x100 * n + 2, data streams (when asked for) from
/// 0x100 * n + 0x10 on, the EMM PID a CAT names 0x100 * n + 0xF0. Program number n,
/// transport_stream_id n.
struct InputProgram {
  std::uint16_t programNumber = 1;
  std::uint16_t pmtPid = 0x100;
  std::uint16_t videoPid = 0x101;
  std::uint16_t audioPid = 0;  // 0: none
  std::uint16_t firstDataPid = 0x110;
  std::uint16_t emmPid = 0x1F0;

  static InputProgram forInput(int input);
};

/// Makes one packet after another. The program clock advances by 27e6 / rate ticks a
/// packet, `rate` being the input's nominal packet rate; a PCR goes out every
/// `kPcrPeriod`, PAT and PMT every `kPsiPeriod`, the CAT (when asked for) every
/// `kCatPeriod`, each by whichever comes first of stream time and the clock. Between
/// them every tenth packet is a null packet and the rest elementary-stream packets, a
/// video or audio PES (with a PTS `kPtsLead` ahead of the clock) starting every
/// `kPesPackets`. Packet faults are applied here, datagram faults by the sender. Not
/// thread-safe.
class TsGenerator {
 public:
  static constexpr std::chrono::milliseconds kPsiPeriod{40};
  static constexpr std::chrono::milliseconds kPcrPeriod{20};
  static constexpr std::chrono::milliseconds kCatPeriod{100};
  static constexpr std::chrono::milliseconds kPtsLead{100};
  static constexpr std::chrono::milliseconds kPcrGap{100};    // --ts-pcr-gap: PCR to PCR
  static constexpr std::chrono::milliseconds kPcrJump{200};   // --ts-pcr-jump
  static constexpr std::uint64_t kPcrJitterTicks = 54;        // --ts-pcr-jitter: 2 us
  static constexpr std::chrono::milliseconds kPtsGap{1000};   // --ts-pts-gap
  static constexpr int kNullEvery = 10;
  static constexpr int kDataEvery = 8;  // with data streams, one slot in 8 is theirs
  static constexpr int kPesPackets = 20;
  static constexpr int kMaxPmtStreams = 64;
  static constexpr std::uint8_t kVideoStreamType = 0x02;  // MPEG-2 video
  static constexpr std::uint8_t kAudioStreamType = 0x03;  // MPEG-1 audio
  static constexpr std::uint8_t kDataStreamType = 0x06;   // PES private data

  /// Input n's stream at a nominal `packetsPerSecond` (the centre of its swing).
  TsGenerator(int input, std::uint32_t packetsPerSecond);

  /// A new nominal rate from the next packet on; the clock goes on from where it is.
  void setNominalRate(std::uint32_t packetsPerSecond) { clock_.setRate(packetsPerSecond, made_); }

  /// The next packet at stream time `at` (since this input started sending, never
  /// going backwards), with `faults` applied and in the shape they ask for.
  Packet next(std::chrono::nanoseconds at, const StreamFaults& faults);

  const InputProgram& program() const { return program_; }
  const ProgramClock& clock() const { return clock_; }
  /// The data-stream PIDs the PMT names now, in order.
  const std::vector<std::uint16_t>& dataPids() const { return dataPids_; }
  std::uint64_t packetsMade() const { return made_; }

 private:
  enum class Kind { Table, Pcr, Video, Audio, Data, Null };
  // When a table or the PCR last went out, in stream time and on the steady clock.
  struct Repeat {
    bool never = true;
    std::chrono::nanoseconds at{};
    std::uint64_t ticks = 0;
  };
  bool due(const Repeat& r, std::chrono::nanoseconds at, std::chrono::milliseconds period) const;
  void mark(Repeat& r, std::chrono::nanoseconds at) const;
  void reshape(const StreamShape& shape);
  void queueTables(std::chrono::nanoseconds at, const StreamFaults& faults);
  bool pcrDue(std::chrono::nanoseconds at, const StreamFaults& faults);
  Kind pick(std::chrono::nanoseconds at, const StreamFaults& faults);
  std::uint16_t pidOf(Kind kind) const;
  Packet pcrPacket(const StreamFaults& faults);
  Packet elementary(std::uint16_t pid, std::uint8_t streamId, bool withPts);
  Packet dataPacket(std::uint16_t pid);
  Packet pesPacket(std::uint16_t pid, std::uint8_t streamId, bool start, bool withPts,
                   std::uint16_t pesLength);
  std::uint8_t nextCc(std::uint16_t pid);
  void applyFaults(Packet& p, bool elementaryStream, const StreamFaults& faults);

  InputProgram program_;
  ProgramClock clock_;
  std::vector<std::uint8_t> pat_;
  std::vector<std::uint8_t> pmt_;
  std::vector<std::uint8_t> cat_;
  std::vector<std::uint8_t> emm_;
  int shapedFor_ = -1;                 // pmtStreams the PMT was built for
  bool withAudio_ = false;             // audio named and sent
  std::vector<std::uint16_t> dataPids_;
  std::deque<Packet> queued_;          // table packets waiting to go out
  std::array<std::uint8_t, stream::kPidCount> cc_{};
  std::array<std::uint32_t, 2> pesCount_{};  // packets into the PES of video, audio
  Repeat psiRepeat_, catRepeat_, pcrRepeat_;
  enum class Gap { Waiting, Open, Done } pcrGap_ = Gap::Waiting;
  std::uint64_t pcrsMade_ = 0;
  std::uint64_t sectionsMade_ = 0;     // PAT and PMT sections, for --ts-bad-crc
  std::uint64_t made_ = 0;
  std::uint64_t elementaryMade_ = 0;
  std::uint64_t slot_ = 0;             // packets between the tables, for the mix
  std::size_t nextData_ = 0;           // round robin over the data streams
  int syncLossLeft_ = 0;               // packets still to spoil for a sync loss
};

}  // namespace vexil::sim
