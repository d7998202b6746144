// Writes the packets the analyser finds into a plain .ts file (188-byte packets, as
// every transport-stream tool reads them).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "stream/StreamAnalyser.h"

namespace vexil::stream {

/// A PacketSink writing to a file through a large buffer. Not thread-safe: it is called
/// where the analyser is fed. 204-byte packets lose their parity bytes.
class TsRecorder : public PacketSink {
 public:
  TsRecorder() = default;
  ~TsRecorder() override { close(); }
  TsRecorder(const TsRecorder&) = delete;
  TsRecorder& operator=(const TsRecorder&) = delete;

  /// Creates or truncates `path`. False, with error() set, when it cannot. A write that
  /// fails later (a full disk) stops the recording and shows in failed() and error().
  bool open(const std::string& path);
  /// Flushes and closes; false if a write failed on the way.
  bool close();
  bool isOpen() const { return file_ != nullptr; }
  /// Packets written whole (a packet whose write failed is not counted).
  std::uint64_t packets() const { return packets_; }
  /// Whether a write (or the close) failed since open().
  bool failed() const { return failed_; }
  const std::string& error() const { return error_; }

  void packet(const std::uint8_t* packet188) override;

 private:
  void fail(int error);

  std::FILE* file_ = nullptr;
  std::string path_;
  std::uint64_t packets_ = 0;
  bool failed_ = false;
  std::string error_;
};

}  // namespace vexil::stream
