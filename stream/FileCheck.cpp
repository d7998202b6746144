#include "stream/FileCheck.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "stream/PcapReader.h"

namespace vexil::stream {
namespace {

constexpr std::size_t kRateIntervals = 63;        // PCR intervals the rate is taken from
constexpr std::size_t kRateScanBytes = 16u << 20; // how far into the file to look for them
constexpr double kBitsPerByte = 8;

// The timing indicators, which need a clock to apply.
constexpr Indicator kTimed[] = {Indicator::PatError, Indicator::PmtError, Indicator::PidError,
                                Indicator::PcrRepetitionError, Indicator::PtsError};

// A read-only view of a whole file, mapped when it can be, read otherwise.
class FileBytes {
 public:
  ~FileBytes() {
    if (mapped_) munmap(mapped_, size_);
  }
  bool open(const std::string& path, std::string& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      error = path + ": " + std::strerror(errno);
      return false;
    }
    struct stat st {};
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
      size_ = static_cast<std::size_t>(st.st_size);
      void* p = mmap(nullptr, size_, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
      if (p != MAP_FAILED) {
        madvise(p, size_, MADV_SEQUENTIAL);
        mapped_ = p;
        close(fd);
        return true;
      }
    }
    if (S_ISDIR(st.st_mode)) {
      error = path + ": is a folder";
      close(fd);
      return false;
    }
    // Not mappable (a pipe, a special file): read it whole.
    std::vector<std::uint8_t> chunk(1 << 20);
    for (;;) {
      const ssize_t n = read(fd, chunk.data(), chunk.size());
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        error = path + ": " + std::strerror(errno);
        close(fd);
        return false;
      }
      if (n == 0) break;
      copy_.insert(copy_.end(), chunk.begin(), chunk.begin() + n);
    }
    close(fd);
    size_ = copy_.size();
    return true;
  }
  std::span<const std::uint8_t> bytes() const {
    if (mapped_) return {static_cast<const std::uint8_t*>(mapped_), size_};
    return copy_;
  }

 private:
  void* mapped_ = nullptr;
  std::size_t size_ = 0;
  std::vector<std::uint8_t> copy_;
};

void fillSnapshot(const StreamAnalyser& analyser, FileCheckResult& result) {
  result.snapshot.totals = analyser.totals();
  result.snapshot.pids = analyser.pidTable();
  result.snapshot.dropsKnown = false;
  for (std::size_t i = 0; i < kIndicatorCount; ++i)
    result.snapshot.red[i] = result.snapshot.totals.indicators[i] > 0;
}

bool checkTsFile(const FileCheckOptions& options, std::span<const std::uint8_t> data, FileCheckResult& result) {
  StreamAnalyser analyser(options.limits);
  result.snapshot.source = SourceKind::TsFile;
  const auto grid = findPacketGrid(data);
  double bps = options.bitsPerSecond;
  if (bps <= 0 && grid)
    bps = rateFromPcrs(data.subspan(grid->offset), grid->size, options.limits.pcrJump).value_or(0);
  result.clockKnown = bps > 0;
  result.snapshot.bitsPerSecondFromPcr = options.bitsPerSecond > 0 ? 0 : bps;
  const TimePoint origin{};
  analyser.setByteClock(bps, origin);
  analyser.start(origin);
  // Bytes before the first packet (a recording cut mid-packet) are passed over.
  const std::size_t lead = grid ? grid->offset : data.size();
  if (lead < data.size()) analyser.feed(data.subspan(lead), origin);
  const std::uint64_t bytes = data.size() - lead;
  result.seconds = bps > 0 ? static_cast<double>(bytes) * kBitsPerByte / bps : 0;
  if (bps > 0 && analyser.totals().lastDatagramAt) analyser.advance(*analyser.totals().lastDatagramAt);
  fillSnapshot(analyser, result);
  StreamTotals& t = result.snapshot.totals;
  t.datagrams = 0;
  t.noStream = false;
  t.bytes = data.size();
  t.skippedBytes += lead;
  if (!result.clockKnown)
    for (Indicator i : kTimed)
      if (t.count(i) == 0) t.applicable[indexOf(i)] = false;
  return true;
}

bool checkCapture(const FileCheckOptions& options, FileCheckResult& result, std::string& error) {
  StreamAnalyser analyser(options.limits);
  result.snapshot.source = SourceKind::Capture;
  std::optional<std::chrono::nanoseconds> first;
  std::chrono::nanoseconds last{0};
  CaptureStats stats;
  const bool ok = readCapture(options.path, options.port, [&](const CapturedDatagram& d) {
    if (!first) {
      first = d.timestamp;
      analyser.start(TimePoint{});
    }
    // Captures are not always in time order; time never goes back for the analyser.
    last = std::max(last, d.timestamp - *first);
    analyser.feed(d.payload, TimePoint{} + std::chrono::duration_cast<Clock::duration>(last));
  }, stats, error);
  if (!ok) return false;
  result.clockKnown = true;
  result.seconds = std::chrono::duration<double>(last).count();
  fillSnapshot(analyser, result);
  result.snapshot.totals.noStream = false;
  return true;
}

}  // namespace

std::optional<double> rateFromPcrs(std::span<const std::uint8_t> data, std::size_t packetSize,
                                   std::chrono::nanoseconds pcrJump) {
  const std::uint64_t jump = pcrJump.count() > 0 ? static_cast<std::uint64_t>(pcrJump.count()) * kPcrHz / 1'000'000'000 : 0;
  int pcrPid = -1;
  std::uint64_t lastPcr = 0;
  std::size_t lastOffset = 0;
  bool havePcr = false;
  std::vector<double> rates;
  const std::size_t end = std::min(data.size(), kRateScanBytes);
  for (std::size_t at = 0; at + kPacketSize <= end && rates.size() < kRateIntervals; at += packetSize) {
    const PacketView v(data.data() + at);
    if (!v.hasSync() || v.transportError() || !v.hasPcr()) continue;
    if (pcrPid < 0) pcrPid = v.pid();
    if (v.pid() != pcrPid) continue;
    const std::uint64_t pcr = v.pcr();
    if (havePcr && !v.discontinuity()) {
      const std::uint64_t step = (pcr + kPcrModulus - lastPcr) % kPcrModulus;
      if (step > 0 && step <= jump)
        rates.push_back(static_cast<double>(at - lastOffset) * kBitsPerByte * static_cast<double>(kPcrHz) /
                        static_cast<double>(step));
    }
    lastPcr = pcr;
    lastOffset = at;
    havePcr = true;
  }
  if (rates.empty()) return std::nullopt;
  std::nth_element(rates.begin(), rates.begin() + static_cast<std::ptrdiff_t>(rates.size() / 2), rates.end());
  return rates[rates.size() / 2];
}

bool checkFile(const FileCheckOptions& options, FileCheckResult& result, std::string& error) {
  result = {};
  if (looksLikeCapture(options.path)) return checkCapture(options, result, error);
  FileBytes file;
  if (!file.open(options.path, error)) return false;
  return checkTsFile(options, file.bytes(), result);
}

}  // namespace vexil::stream
