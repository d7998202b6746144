// The answer an outcome routine works on: its own copy of the last accepted datagram.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "messaging/AnswerReader.h"
#include "messaging/WireLayout.h"

namespace vexil {

/// A copy of one received datagram, taken under the engine lock when the dispatch
/// begins. It belongs to the outcome routine: a transaction that the routine begins, and
/// datagrams that arrive for it, cannot change it. Bytes beyond length() are not part of
/// it, so no reader can mistake what an earlier datagram left for part of this one.
class Answer {
 public:
  Answer() = default;
  /// Copies `datagram`; at most the receive limit of 1500 bytes is kept.
  explicit Answer(std::span<const std::uint8_t> datagram)
      : length_(std::min(datagram.size(), bytes_.size())) {
    std::copy_n(datagram.begin(), length_, bytes_.begin());
  }

  /// The datagram's length in bytes, 0..1500 (LastLength).
  std::size_t length() const { return length_; }
  std::span<const std::uint8_t> bytes() const { return {bytes_.data(), length_}; }
  /// Reads by absolute offset, checked against length(). Valid while this object lives.
  AnswerReader reader() const { return AnswerReader(bytes()); }

 private:
  std::array<std::uint8_t, wire::kReceiveBufferSize> bytes_{};
  std::size_t length_ = 0;
};

}  // namespace vexil
