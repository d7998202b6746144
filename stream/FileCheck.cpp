#include "stream/FileCheck.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <array>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "portable/Files.h"
#include "stream/PcapReader.h"

namespace vexil::stream {
namespace {

constexpr std::size_t kRateIntervals = 63;        // PCR intervals the rate is taken from
constexpr std::size_t kRateScanBytes = 8u << 20;  // how far into the file to look for them
constexpr double kBitsPerByte = 8;

// The timing indicators, which need a clock to apply.
constexpr Indicator kTimed[] = {Indicator::PatError, Indicator::PmtError, Indicator::PidError,
                                Indicator::PcrRepetitionError, Indicator::PtsError};

// The bytes of a file: a regular file read in chunks that stay in the processor's
// cache, anything else (a pipe, a special file) read whole first.
class FileReader {
 public:
  // Chunks are a whole number of 188- and of 204-byte packets, so that a stream in
  // sync is cut between packets.
  // 230 KB: the analyser reads each chunk while it is still in the core's cache.
  static constexpr std::size_t kChunk = 9588 * 24;  // 9588 = lcm(188, 204)

  ~FileReader() {
    if (fd_ >= 0) close(fd_);
  }
  bool open(const std::string& path, std::string& error) {
    path_ = path;
    fd_ = fs::openFile(path, O_RDONLY | fs::kNoInherit);
    if (fd_ < 0) return fail(error);
    struct stat st {};
    if (fstat(fd_, &st) != 0) return fail(error);
    if (S_ISDIR(st.st_mode)) {
      error = path + ": is a folder";
      return false;
    }
    regular_ = S_ISREG(st.st_mode);
    if (regular_) {
      size_ = static_cast<std::uint64_t>(st.st_size);
#ifndef _WIN32
      posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
      headSize_ = static_cast<std::size_t>(std::min<std::uint64_t>(size_, kRateScanBytes));
      headBuffer_.reset(new std::uint8_t[headSize_ ? headSize_ : 1]);  // no need to clear it
      return readAt(0, headBuffer_.get(), headSize_, error);
    }
    std::vector<std::uint8_t> chunk(kChunk);
    for (;;) {
      const ssize_t n = read(fd_, chunk.data(), chunk.size());
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return fail(error);
      if (n == 0) break;
      whole_.insert(whole_.end(), chunk.begin(), chunk.begin() + n);
    }
    size_ = whole_.size();
    return true;
  }
  std::uint64_t size() const { return size_; }
  /// The first bytes (all of them when the file is not a regular one).
  std::span<const std::uint8_t> head() const {
    return regular_ ? std::span<const std::uint8_t>(headBuffer_.get(), headSize_) : std::span<const std::uint8_t>(whole_);
  }
  /// Hands every byte from `from` on to `each`, chunk by chunk.
  template <typename Each>
  bool chunks(std::uint64_t from, Each each, std::string& error) {
    if (!regular_) {
      if (from < whole_.size()) each(std::span<const std::uint8_t>(whole_).subspan(static_cast<std::size_t>(from)));
      return true;
    }
    // What the head already holds is not read again.
    std::uint64_t at = from;
    const std::span<const std::uint8_t> head = this->head();
    for (; at + kChunk <= head.size(); at += kChunk) each(head.subspan(static_cast<std::size_t>(at), kChunk));
    return readAhead(at, each, error);
  }

 private:
  static constexpr std::size_t kSlots = 4;  // chunks read ahead

  // The rest of the file from `from`, read on a second thread into kSlots buffers in
  // turn while `each` works on the chunk before: the copy out of the page cache and
  // the analysis overlap instead of taking turns.
  template <typename Each>
  bool readAhead(std::uint64_t from, Each& each, std::string& error) {
    if (from >= size_) return true;
    const std::uint64_t chunks = (size_ - from + kChunk - 1) / kChunk;
    std::array<std::unique_ptr<std::uint8_t[]>, kSlots> slots;
    for (auto& slot : slots) slot.reset(new std::uint8_t[kChunk]);  // no need to clear them
    const auto lengthOf = [&](std::uint64_t k) {
      return static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, size_ - from - k * kChunk));
    };
    std::mutex lock;
    std::condition_variable changed;
    std::uint64_t filled = 0;    // chunks read, under `lock`
    std::uint64_t consumed = 0;  // chunks analysed, under `lock`
    bool failed = false;         // under `lock`
    bool stopping = false;       // under `lock`
    std::string readError;
    std::thread reader([&] {
      for (std::uint64_t k = 0; k < chunks; ++k) {
        {
          std::unique_lock guard(lock);
          changed.wait(guard, [&] { return k - consumed < kSlots || stopping; });
          if (stopping) return;
        }
        std::string why;
        const bool ok = readAt(from + k * kChunk, slots[k % kSlots].get(), lengthOf(k), why);
        std::lock_guard guard(lock);
        if (!ok) {
          failed = true;
          readError = why;
          changed.notify_all();
          return;
        }
        filled = k + 1;
        changed.notify_all();
      }
    });
    bool ok = true;
    for (std::uint64_t k = 0; k < chunks; ++k) {
      {
        std::unique_lock guard(lock);
        changed.wait(guard, [&] { return filled > k || failed; });
        if (filled <= k) {
          ok = false;
          error = readError;
          break;
        }
      }
      each(std::span<const std::uint8_t>(slots[k % kSlots].get(), lengthOf(k)));
      std::lock_guard guard(lock);
      consumed = k + 1;
      changed.notify_all();
    }
    {
      std::lock_guard guard(lock);
      stopping = true;
      changed.notify_all();
    }
    reader.join();
    return ok;
  }

  bool fail(std::string& error) const {
    error = path_ + ": " + std::strerror(errno);
    return false;
  }
  bool readAt(std::uint64_t at, std::uint8_t* into, std::size_t length, std::string& error) const {
    std::size_t done = 0;
    while (done < length) {
      const long long n = fs::readAt(fd_, into + done, length - done, static_cast<std::int64_t>(at + done));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return fail(error);
      if (n == 0) {
        error = path_ + ": the file grew shorter while it was read";
        return false;
      }
      done += static_cast<std::size_t>(n);
    }
    return true;
  }

  std::string path_;
  int fd_ = -1;
  bool regular_ = false;
  std::uint64_t size_ = 0;
  std::unique_ptr<std::uint8_t[]> headBuffer_;  // a regular file's first bytes
  std::size_t headSize_ = 0;
  std::vector<std::uint8_t> whole_;             // all of a file that is not a regular one
};

void fillSnapshot(const StreamAnalyser& analyser, FileCheckResult& result) {
  result.snapshot.totals = analyser.totals();
  result.snapshot.pids = analyser.pidTable();
  result.snapshot.dropsKnown = false;
  for (std::size_t i = 0; i < kIndicatorCount; ++i)
    result.snapshot.red[i] = result.snapshot.totals.indicators[i] > 0;
}

bool checkTsFile(const FileCheckOptions& options, FileReader& file, FileCheckResult& result, std::string& error) {
  StreamAnalyser analyser(options.limits);
  result.snapshot.source = SourceKind::TsFile;
  const std::span<const std::uint8_t> head = file.head();
  const auto grid = findPacketGrid(head);
  double bps = options.bitsPerSecond;
  if (bps <= 0 && grid)
    bps = rateFromPcrs(head.subspan(grid->offset), grid->size, options.limits.pcrJump).value_or(0);
  result.clockKnown = bps > 0;
  result.snapshot.bitsPerSecondFromPcr = options.bitsPerSecond > 0 ? 0 : bps;
  const TimePoint origin{};
  analyser.setByteClock(bps, origin);
  analyser.start(origin);
  // Bytes before the first packet are passed over when the file starts inside a packet;
  // when the grid reaches back to its first byte, damaged first packets count.
  std::uint64_t lead = grid ? grid->offset : file.size();
  if (grid && grid->offset % grid->size == 0) {
    lead = 0;
    analyser.presetPacketGrid(grid->size);
  }
  if (!file.chunks(lead, [&](std::span<const std::uint8_t> chunk) { analyser.feed(chunk, origin); }, error))
    return false;
  const std::uint64_t bytes = file.size() - lead;
  result.seconds = bps > 0 ? static_cast<double>(bytes) * kBitsPerByte / bps : 0;
  if (bps > 0 && analyser.totals().lastDatagramAt) analyser.advance(*analyser.totals().lastDatagramAt);
  fillSnapshot(analyser, result);
  StreamTotals& t = result.snapshot.totals;
  t.datagrams = 0;
  t.noStream = false;
  t.bytes = file.size();
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
  // Without a port, the stream is the first UDP port whose datagrams hold packets;
  // other traffic in the capture is left out.
  std::optional<std::uint16_t> port = options.port;
  const bool ok = readCapture(options.path, options.port, [&](const CapturedDatagram& d) {
    if (!port) {
      const bool packets = !d.payload.empty() && d.payload[0] == kSyncByte &&
                           (d.payload.size() % kPacketSize == 0 || d.payload.size() % kRsPacketSize == 0);
      if (!packets) return;
      port = d.destinationPort;
    }
    if (d.destinationPort != *port) return;
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
  result.capturePort = port;
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
  // A capture is looked for in regular files only: reading the magic of a pipe would
  // take its first bytes away from the stream.
  struct stat st {};
  const bool regular = ::stat(options.path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
  if (regular && looksLikeCapture(options.path)) return checkCapture(options, result, error);
  FileReader file;
  if (!file.open(options.path, error)) return false;
  return checkTsFile(options, file, result, error);
}

}  // namespace vexil::stream
