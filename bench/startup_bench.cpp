// vexil-startup-bench [runs [cpu]]: launch → idle event loop of the program as built
// (vexil-devp) beside a bare QMainWindow of the same size with a menu and five tabs
// (vexil-startup-bare, an executable of its own), in interleaved child processes
// (offscreen), with the peak memory of each and the machine's load.
//
// Neither program is changed for the measurement: each runs with a preloaded hook that,
// the first time the main thread would block with nothing to do, writes that moment
// (monotonic clock, shared by all processes) to fd 3 and ends the process. The bench
// times fork to that moment, so tearing the window down does not count, and it measures
// exactly what an outside observer of the two executables would.
//
// Every child runs on one and the same CPU: on a virtual machine one CPU can be much
// slower than another, and children started in turn land on alternate CPUs, which
// would hand one program the slow CPU every time.
#include <sched.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr int kDefaultRuns = 15;
constexpr int kIdleFd = 3;

struct Run {
  double ms = 0;
  long peakKiB = 0;
};

Run spawn(const char* program, const std::string& workDir, int cpu) {
  int idle[2];
  if (pipe(idle) != 0) std::exit(1);
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = fork();
  if (child == 0) {
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(cpu, &one);
    if (chdir(workDir.c_str()) != 0 || dup2(idle[1], kIdleFd) < 0 ||
        sched_setaffinity(0, sizeof one, &one) != 0) {
      _exit(127);
    }
    setenv("LD_PRELOAD", VEXIL_STARTUP_HOOK, 1);
    execl(program, program, static_cast<char*>(nullptr));
    _exit(127);
  }
  close(idle[1]);
  long long idleAt = 0;
  const bool reported = read(idle[0], &idleAt, sizeof idleAt) == sizeof idleAt;
  close(idle[0]);
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  if (!reported || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "vexil-startup-bench: %s did not reach an idle event loop\n", program);
    std::exit(1);
  }
  // steady_clock is CLOCK_MONOTONIC on Linux, the clock the hook reads.
  const auto end = std::chrono::steady_clock::time_point(std::chrono::nanoseconds(idleAt));
  return {std::chrono::duration<double, std::milli>(end - start).count(), usage.ru_maxrss};
}

template <typename T>
T median(std::vector<T> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : kDefaultRuns;
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  // The program's settings file is not the developer's.
  char pattern[] = "/tmp/vexil-startup-XXXXXX";
  if (mkdtemp(pattern) == nullptr) return 1;
  const std::string dir = pattern;
  std::vector<double> bareMs, programMs;
  std::vector<long> bareKiB, programKiB;
  double load[3] = {};
  getloadavg(load, 3);
  const int cpu = argc > 2 ? std::atoi(argv[2]) : std::max(0, sched_getcpu());
  spawn(VEXIL_STARTUP_BARE, dir, cpu);  // warm the page cache for both
  spawn(VEXIL_STARTUP_PROGRAM, dir, cpu);
  for (int i = 0; i < runs; ++i) {
    const Run bare = spawn(VEXIL_STARTUP_BARE, dir, cpu);
    const Run program = spawn(VEXIL_STARTUP_PROGRAM, dir, cpu);
    bareMs.push_back(bare.ms);
    bareKiB.push_back(bare.peakKiB);
    programMs.push_back(program.ms);
    programKiB.push_back(program.peakKiB);
  }
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
  const double bare = median(bareMs);
  const double program = median(programMs);
  const double bareMB = median(bareKiB) / 1024.0;
  const double programMB = median(programKiB) / 1024.0;
  std::printf("launch -> idle, median of %d interleaved runs (offscreen) on CPU %d, load %.2f %.2f %.2f\n",
              runs, cpu, load[0], load[1], load[2]);
  std::printf("  bare window : %7.1f ms  peak %5.1f MB\n", bare, bareMB);
  std::printf("  vexil-devp  : %7.1f ms  peak %5.1f MB\n", program, programMB);
  std::printf("  ratio       : %7.2f x  (target <= 1.20), %+.1f ms over bare (target <= 5)\n", program / bare,
              program - bare);
  std::printf("  memory      : %7.2f x  (target <= 1.10)\n", programMB / bareMB);
  return 0;
}
