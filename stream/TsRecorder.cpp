#include "stream/TsRecorder.h"

#include <cerrno>
#include <cstring>

namespace vexil::stream {
namespace {
constexpr std::size_t kWriteBuffer = 1 << 20;
}

bool TsRecorder::open(const std::string& path) {
  close();
  packets_ = 0;
  failed_ = false;
  file_ = std::fopen(path.c_str(), "wb");
  if (!file_) {
    error_ = path + ": " + std::strerror(errno);
    return false;
  }
  std::setvbuf(file_, nullptr, _IOFBF, kWriteBuffer);
  return true;
}

bool TsRecorder::close() {
  if (!file_) return !failed_;
  if (std::fclose(file_) != 0) failed_ = true;
  file_ = nullptr;
  if (failed_ && error_.empty()) error_ = "write failed";
  return !failed_;
}

void TsRecorder::packet(const std::uint8_t* packet188) {
  if (!file_) return;
  if (std::fwrite(packet188, kPacketSize, 1, file_) != 1) failed_ = true;
  ++packets_;
}

}  // namespace vexil::stream
