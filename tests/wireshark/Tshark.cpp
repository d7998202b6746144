#include "tests/wireshark/Tshark.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>

extern char** environ;

namespace vexil::test {

std::optional<std::string> findTshark() {
  const char* path = std::getenv("PATH");
  std::stringstream folders(path ? path : "/usr/bin:/bin");
  std::string folder;
  while (std::getline(folders, folder, ':')) {
    const std::string candidate = (folder.empty() ? "." : folder) + "/tshark";
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return std::nullopt;
}

std::optional<std::string> runProgram(const std::string& program,
                                      const std::vector<std::string>& arguments) {
  int pipeEnds[2];
  if (::pipe(pipeEnds) != 0) return std::nullopt;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);

  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t child = 0;
  const int spawned = posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipeEnds[1]);
  if (spawned != 0) {
    ::close(pipeEnds[0]);
    return std::nullopt;
  }
  std::string output;
  char chunk[4096];
  ssize_t got = 0;
  while ((got = ::read(pipeEnds[0], chunk, sizeof chunk)) > 0) output.append(chunk, got);
  ::close(pipeEnds[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
  return output;
}

FieldRows parseFieldRows(const std::string& output, const std::vector<std::string>& fields) {
  FieldRows rows;
  std::stringstream lines(output);
  std::string line;
  while (std::getline(lines, line)) {
    auto& row = rows.emplace_back();
    std::size_t start = 0;
    for (const auto& name : fields) {
      const std::size_t tab = line.find('\t', start);
      row[name] = line.substr(start, tab == std::string::npos ? std::string::npos : tab - start);
      start = tab == std::string::npos ? line.size() : tab + 1;
    }
  }
  return rows;
}

}  // namespace vexil::test
