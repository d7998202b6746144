// Analysis of a recorded stream: a file of 188- or 204-byte packets, or a pcap/pcapng
// capture of UDP datagrams, read at file speed.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "stream/FrameSync.h"
#include "stream/StreamAnalyser.h"
#include "stream/StreamReport.h"

namespace vexil::stream {

struct FileCheckOptions {
  std::string path;
  double bitsPerSecond = 0;             // .ts: the clock's rate; 0 takes it from the PCRs
  std::optional<std::uint16_t> port;    // capture: the UDP destination port of the stream
  AnalyserLimits limits;
};

/// What a file analysis gives.
struct FileCheckResult {
  StreamSnapshot snapshot;
  double seconds = 0;      // stream time from the first packet to the last
  bool clockKnown = false; // time could be given to the packets (PCRs, --bitrate, a capture)
  std::optional<std::uint16_t> capturePort;  // a capture: the UDP port of the stream read
};

/// The rate a .ts file's PCRs give, in bits per second: the median over the first
/// intervals between PCRs of the first PID that carries them, byte distance against
/// PCR distance, skipping steps that are negative or longer than `pcrJump`. Nothing
/// when fewer than two PCRs of one PID lie in `data`.
std::optional<double> rateFromPcrs(std::span<const std::uint8_t> data, std::size_t packetSize,
                                   std::chrono::nanoseconds pcrJump);


/// Analyses the file. False, with `error` set, when it cannot be opened or read.
bool checkFile(const FileCheckOptions& options, FileCheckResult& result, std::string& error);

}  // namespace vexil::stream
