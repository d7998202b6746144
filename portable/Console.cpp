#include "portable/Console.h"

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#else
#include <pthread.h>
#include <signal.h>
#endif

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <mutex>

namespace vexil::console {

#ifdef _WIN32

namespace {

std::mutex stopLock;
std::condition_variable stopArrived;
int stopSignal = 0;

BOOL WINAPI onConsoleEvent(DWORD event) {
  int signal = 0;
  switch (event) {
    case CTRL_C_EVENT: signal = kInterrupt; break;
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT: signal = kTerminate; break;
    default: return FALSE;
  }
  {
    std::lock_guard guard(stopLock);
    if (stopSignal == 0) stopSignal = signal;
  }
  stopArrived.notify_all();
  // Windows ends the process once this returns from a close, log-off or shut-down
  // event: give the program the few seconds Windows allows to end in order.
  if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) Sleep(5000);
  return TRUE;
}

std::string utf8(const wchar_t* text) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return {};
  std::string out(static_cast<std::size_t>(n - 1), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
  return out;
}

}  // namespace

struct StopRequests::State {};

StopRequests::StopRequests(Options) : state_(nullptr) {
  {
    std::lock_guard guard(stopLock);
    stopSignal = 0;
  }
  SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

StopRequests::~StopRequests() { SetConsoleCtrlHandler(onConsoleEvent, FALSE); }

int StopRequests::waitFor(std::chrono::milliseconds timeout) {
  std::unique_lock guard(stopLock);
  stopArrived.wait_for(guard, timeout, [] { return stopSignal != 0; });
  return stopSignal;
}

int StopRequests::wait() {
  std::unique_lock guard(stopLock);
  stopArrived.wait(guard, [] { return stopSignal != 0; });
  return stopSignal;
}

std::vector<std::string> arguments(int argc, char** argv) {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr || count != argc) {
    // Not the command line this process was started with (never so for a program run
    // from a console): argv as it is.
    if (wide != nullptr) LocalFree(wide);
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
  }
  std::vector<std::string> out;
  for (int i = 1; i < count; ++i) out.push_back(utf8(wide[i]));
  LocalFree(wide);
  return out;
}

namespace {

UINT codePageBefore = 0;

void restoreCodePage() {
  if (codePageBefore != 0) SetConsoleOutputCP(codePageBefore);
}

}  // namespace

void useUtf8Output() {
  // The console's code page outlives the program: the one it had comes back at exit,
  // so that the Command Prompt that started us shows its own output as before.
  codePageBefore = GetConsoleOutputCP();
  if (codePageBefore == 0 || codePageBefore == CP_UTF8 || SetConsoleOutputCP(CP_UTF8) == 0) return;
  std::atexit(restoreCodePage);
}

#else

struct StopRequests::State {
  sigset_t set{};
  sigset_t old{};
};

StopRequests::StopRequests(Options options) : state_(new State) {
  sigemptyset(&state_->set);
  sigaddset(&state_->set, SIGINT);
  sigaddset(&state_->set, SIGTERM);
  if (options.hangUp) sigaddset(&state_->set, SIGHUP);
  if (options.restoreDefault) {
    // A shell that starts us in the background has set SIGINT to be ignored, and an
    // ignored signal never reaches sigwait: take the default back first.
    ::signal(SIGINT, SIG_DFL);
    ::signal(SIGTERM, SIG_DFL);
  }
  pthread_sigmask(SIG_BLOCK, &state_->set, &state_->old);
}

StopRequests::~StopRequests() {
  pthread_sigmask(SIG_SETMASK, &state_->old, nullptr);
  delete state_;
}

int StopRequests::waitFor(std::chrono::milliseconds timeout) {
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(timeout).count();
  const timespec step{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
  const int signal = sigtimedwait(&state_->set, nullptr, &step);
  return signal > 0 ? signal : 0;
}

int StopRequests::wait() {
  int signal = 0;
  sigwait(&state_->set, &signal);
  return signal;
}

std::vector<std::string> arguments(int argc, char** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

void useUtf8Output() {}

#endif

}  // namespace vexil::console
