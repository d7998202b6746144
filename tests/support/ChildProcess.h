// A program a test runs as a process of its own (vexilctl, vexil-sim), started with
// posix_spawn. The tests run emulators on threads, and the child of a threaded process
// made by fork may only make async-signal-safe calls until it executes: building an
// argument vector there can wait for ever on an allocator lock another thread held at
// the fork. posix_spawn opens the output files, changes the folder and executes without
// running any of the test's code in the child.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <string>
#include <vector>

extern char** environ;

namespace vexil::testing {

struct ChildOptions {
  std::string folder{};                      // working folder; the test's own when empty
  std::string outPath{};                     // standard output; /dev/null when empty
  std::string errPath{};                     // standard error; /dev/null when empty
  std::map<std::string, std::string> env{};  // set in the test's own environment
};

class ChildProcess {
 public:
  explicit ChildProcess(const std::vector<std::string>& argv, const ChildOptions& options = {}) {
    std::vector<std::string> environment;
    for (char** e = environ; *e != nullptr; ++e) {
      const std::string entry = *e;
      if (!options.env.contains(entry.substr(0, entry.find('=')))) environment.push_back(entry);
    }
    for (const auto& [name, value] : options.env) environment.push_back(name + "=" + value);
    std::vector<char*> envp;
    for (std::string& e : environment) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> args = argv;
    std::vector<char*> argp;
    for (std::string& a : args) argp.push_back(a.data());
    argp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const auto output = [&](int fd, const std::string& path) {
      posix_spawn_file_actions_addopen(&actions, fd, path.empty() ? "/dev/null" : path.c_str(),
                                       O_WRONLY | O_CREAT | O_TRUNC, 0644);
    };
    output(STDOUT_FILENO, options.outPath);
    output(STDERR_FILENO, options.errPath);
    if (!options.folder.empty()) {
      posix_spawn_file_actions_addchdir_np(&actions, options.folder.c_str());
    }
    if (posix_spawn(&pid_, argp[0], &actions, nullptr, argp.data(), envp.data()) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  // Still running when the test ends (a failed assertion): stopped as Ctrl+C would.
  ~ChildProcess() {
    sendSignal(SIGTERM);
    wait();
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool started() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }
  void sendSignal(int number) const {
    if (pid_ > 0) ::kill(pid_, number);
  }
  // Its exit status, or 128 + the signal that ended it, as a shell reports it; -1 when
  // it never started. Waits once; later calls give the same answer.
  int wait() {
    if (pid_ > 0) {
      int status = 0;
      if (::waitpid(pid_, &status, 0) == pid_) {
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      pid_ = -1;
    }
    return status_;
  }

 private:
  pid_t pid_ = -1;
  int status_ = -1;
};

}  // namespace vexil::testing
