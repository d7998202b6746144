// vexil-file-check-bench: how fast `vexilctl stream-check --file` reads a recorded
// transport stream, beside `cat` (the floor: reading the file and nothing else) and
// tsreport of tstools, on one file held in the page cache. Each command runs several
// times, the commands in turn, each timed around its fork and exit.
//   vexil-file-check-bench [--megabytes 500] [--runs 5] [--megabits 40] [--keep 1]
//                          [--dir /tmp] [--vexilctl build/default/ctl/vexilctl]
#include <fcntl.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/BenchOptions.h"
#include "bench/file_check_bench.h"

#ifndef VEXIL_VEXILCTL_PATH
#define VEXIL_VEXILCTL_PATH "build/default/ctl/vexilctl"
#endif

using namespace std::chrono;

namespace {

constexpr std::size_t kPacketsPerWrite = 1 << 15;  // 6 MB a write
constexpr std::size_t kReadChunk = 8 << 20;
constexpr std::uint64_t kProbePackets = 20'000;  // the small file vexilctl is tried on
constexpr double kBytesPerMegabyte = 1e6;

// The text after `name` on the command line, or `fallback`.
std::string optionText(int argc, char** argv, const char* name, const std::string& fallback) {
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], name) == 0) return argv[i + 1];
  return fallback;
}

std::string fileText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string firstLine(const std::string& text) {
  const std::string line = text.substr(0, text.find('\n'));
  return line.empty() ? "(no message)" : line;
}

bool writeStream(const std::string& path, std::uint64_t packets, double bitsPerSecond) {
  vexil::bench::ConstantRateStream stream(bitsPerSecond);
  std::vector<std::uint8_t> buffer(kPacketsPerWrite * vexil::stream::kPacketSize);
  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (!out) return false;
  bool ok = true;
  for (std::uint64_t done = 0; done < packets && ok;) {
    const std::uint64_t n = std::min<std::uint64_t>(kPacketsPerWrite, packets - done);
    for (std::uint64_t i = 0; i < n; ++i)
      stream.next(buffer.data() + i * vexil::stream::kPacketSize);
    const std::size_t bytes = n * vexil::stream::kPacketSize;
    ok = std::fwrite(buffer.data(), 1, bytes, out) == bytes;
    done += n;
  }
  return std::fclose(out) == 0 && ok;
}

// Reads the whole file so that every timed run reads from memory; returns the share of
// its pages then resident, as mincore reports it.
double warmPageCache(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0) return 0;
  std::vector<char> chunk(kReadChunk);
  while (read(fd, chunk.data(), chunk.size()) > 0) {
  }
  struct stat st {};
  fstat(fd, &st);
  const auto size = static_cast<std::size_t>(st.st_size);
  double share = 0;
  void* map = mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
  if (map != MAP_FAILED) {
    const long page = sysconf(_SC_PAGESIZE);
    std::vector<unsigned char> resident((size + static_cast<std::size_t>(page) - 1) /
                                        static_cast<std::size_t>(page));
    if (mincore(map, size, resident.data()) == 0)
      share = static_cast<double>(std::count_if(resident.begin(), resident.end(),
                                                [](unsigned char r) { return (r & 1) != 0; })) /
              static_cast<double>(resident.size());
    munmap(map, size);
  }
  close(fd);
  return share;
}

struct Run {
  double seconds = 0;     // wall, fork to exit
  double cpuSeconds = 0;  // user + system of the child
  int status = -1;        // exit status; -1 when it did not start or was killed
};

// Runs `argv` with standard output to `outPath` (/dev/null when timing) and standard
// error to `errPath`; times it from spawn to exit.
Run runOnce(const std::vector<std::string>& argv, const std::string& outPath,
            const std::string& errPath) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  Run run;
  pid_t child = 0;
  const auto start = steady_clock::now();
  const int spawned = posix_spawnp(&child, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return run;
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  run.seconds = duration<double>(steady_clock::now() - start).count();
  const auto toSeconds = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
  };
  run.cpuSeconds = toSeconds(usage.ru_utime) + toSeconds(usage.ru_stime);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

struct Contender {
  std::string label;
  std::vector<std::string> argv;
  std::string unavailable;  // why it is not run; empty when it is
  std::vector<Run> runs;

  double medianSeconds() const {
    std::vector<double> s;
    for (const Run& r : runs) s.push_back(r.seconds);
    std::sort(s.begin(), s.end());
    return s.empty() ? 0 : s[s.size() / 2];
  }
  double bestSeconds() const {
    double best = 0;
    for (const Run& r : runs) best = best == 0 ? r.seconds : std::min(best, r.seconds);
    return best;
  }
  double medianCpu() const {
    std::vector<double> s;
    for (const Run& r : runs) s.push_back(r.cpuSeconds);
    std::sort(s.begin(), s.end());
    return s.empty() ? 0 : s[s.size() / 2];
  }
};

// vexilctl counts as there when it reads a small stream file and prints a JSON object.
std::string whyNotAvailable(const std::string& vexilctl, const std::string& dir) {
  if (access(vexilctl.c_str(), X_OK) != 0) return "no program at " + vexilctl;
  const std::string probe = dir + "/vexil-file-check-probe-" + std::to_string(getpid());
  if (!writeStream(probe + ".ts", kProbePackets, 40e6)) return "cannot write " + probe + ".ts";
  const Run r = runOnce({vexilctl, "stream-check", "--file", probe + ".ts", "--json"},
                        probe + ".out", probe + ".err");
  const std::string out = fileText(probe + ".out"), err = fileText(probe + ".err");
  for (const char* ext : {".ts", ".out", ".err"}) unlink((probe + ext).c_str());
  if (out.empty() || out[0] != '{')
    return "stream-check --file gave no JSON (exit " + std::to_string(r.status) +
           "): " + firstLine(err.empty() ? out : err);
  return {};
}

std::string loadAverage() { return firstLine(fileText("/proc/loadavg")); }

}  // namespace

int main(int argc, char** argv) {
  using vexil::bench::optionValue;
  const long megabytes = optionValue(argc, argv, "--megabytes", 500);
  const int runs = static_cast<int>(optionValue(argc, argv, "--runs", 5));
  const double megabits = static_cast<double>(optionValue(argc, argv, "--megabits", 40));
  const bool keep = optionValue(argc, argv, "--keep", 0) != 0;
  const std::string dir = optionText(argc, argv, "--dir", "/tmp");
  const std::string vexilctl = optionText(argc, argv, "--vexilctl", VEXIL_VEXILCTL_PATH);
  if (megabytes <= 0 || runs <= 0 || megabits <= 0) {
    std::fprintf(stderr,
                 "vexil-file-check-bench: --megabytes, --runs and --megabits must be positive\n");
    return 2;
  }

  const std::uint64_t packets =
      static_cast<std::uint64_t>(static_cast<double>(megabytes) * kBytesPerMegabyte) /
      vexil::stream::kPacketSize;
  const std::uint64_t bytes = packets * vexil::stream::kPacketSize;
  const std::string file = dir + "/vexil-file-check-bench-" + std::to_string(getpid()) + ".ts";
  std::printf("machine: %u CPUs online, load average %s (before)\n",
              std::max(1u, std::thread::hardware_concurrency()), loadAverage().c_str());

  const auto writeStart = steady_clock::now();
  if (!writeStream(file, packets, megabits * 1e6)) {
    std::fprintf(stderr, "vexil-file-check-bench: cannot write %s\n", file.c_str());
    unlink(file.c_str());
    return 1;
  }
  std::printf(
      "file: %s, %llu bytes (%.0f MB, %llu packets of 188), %.0f Mb/s stream = %.1f s of "
      "stream; written in %.1f s\n",
      file.c_str(), static_cast<unsigned long long>(bytes), static_cast<double>(bytes) / 1e6,
      static_cast<unsigned long long>(packets), megabits,
      static_cast<double>(bytes) * 8 / (megabits * 1e6),
      duration<double>(steady_clock::now() - writeStart).count());
  const double resident = warmPageCache(file);
  std::printf(
      "page cache: warmed by reading the file once; %.1f %% of it resident, so every run "
      "below reads from memory\n",
      resident * 100);

  std::vector<Contender> contenders = {
      {"cat FILE > /dev/null (floor)", {"cat", file}, {}, {}},
      {"tsreport FILE (counts packets)", {"tsreport", file}, {}, {}},
      {"tsreport -b FILE (PCR/PTS buffering)", {"tsreport", "-b", file}, {}, {}},
      {"vexilctl stream-check --file FILE --json",
       {vexilctl, "stream-check", "--file", file, "--json"},
       whyNotAvailable(vexilctl, dir),
       {}},
  };
  const std::string errPath = file + ".stderr";
  for (int round = 0; round < runs;
       ++round)  // in turn, so slow drift in the machine hits all alike
    for (Contender& c : contenders) {
      if (!c.unavailable.empty()) continue;
      const Run r = runOnce(c.argv, "/dev/null", errPath);
      if (r.status == -1 && c.runs.empty())  // not installed, or killed on its first run
        c.unavailable = "did not start or was killed: " + firstLine(fileText(errPath));
      else
        c.runs.push_back(r);
    }
  unlink(errPath.c_str());

  std::printf("\n%d runs each, in turn; Gb/s = file bits / wall time from spawn to exit\n", runs);
  std::printf("%-44s %9s %9s %12s %12s %6s\n", "command", "median s", "best s", "median Gb/s",
              "best Gb/s", "CPU s");
  const double bits = static_cast<double>(bytes) * 8;
  for (const Contender& c : contenders) {
    if (!c.unavailable.empty()) {
      std::printf("%-44s not available: %s\n", c.label.c_str(), c.unavailable.c_str());
      continue;
    }
    std::printf("%-44s %9.3f %9.3f %12.2f %12.2f %6.2f", c.label.c_str(), c.medianSeconds(),
                c.bestSeconds(), bits / c.medianSeconds() / 1e9, bits / c.bestSeconds() / 1e9,
                c.medianCpu());
    int failed = 0;
    for (const Run& r : c.runs) failed += r.status != 0;
    if (failed)
      std::printf("  (%d runs exited non-zero, last status %d)", failed, c.runs.back().status);
    std::printf("\n");
  }

  const Contender& ours = contenders[3];
  if (ours.unavailable.empty()) {
    std::printf("\nours against the others, by median throughput (ours Gb/s / theirs Gb/s):\n");
    for (std::size_t i = 0; i < 3; ++i)
      if (contenders[i].unavailable.empty())
        std::printf("  ours / %-40s %.3f (ours takes %.2f x its time)\n",
                    contenders[i].label.c_str(),
                    contenders[i].medianSeconds() / ours.medianSeconds(),
                    ours.medianSeconds() / contenders[i].medianSeconds());
  } else {
    std::printf("\nours / cat and ours / tsreport: not available (%s)\n", ours.unavailable.c_str());
  }
  std::printf("load average %s (after)\n", loadAverage().c_str());
  if (keep)
    std::printf("kept %s\n", file.c_str());
  else
    unlink(file.c_str());
  return 0;
}
