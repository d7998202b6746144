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
  error_.clear();
  path_ = path;
  std::setvbuf(file_, nullptr, _IOFBF, kWriteBuffer);
  return true;
}

bool TsRecorder::close() {
  if (!file_) return !failed_;
  if (std::fflush(file_) != 0) fail(errno);
  if (std::fclose(file_) != 0) fail(errno);
  file_ = nullptr;
  return !failed_;
}

void TsRecorder::fail(int error) {
  if (failed_) return;
  failed_ = true;
  error_ = path_ + ": " + std::strerror(error);
}

void TsRecorder::packet(const std::uint8_t* packet188) {
  if (!file_ || failed_) return;
  if (std::fwrite(packet188, kPacketSize, 1, file_) != 1) {
    fail(errno);
    return;
  }
  ++packets_;
}

}  // namespace vexil::stream
