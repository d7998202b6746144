#include "tests/records/PostgresServer.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <libpq-fe.h>
#include <locale.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/shm.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace vexil::testing {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr auto kInitWait = 120s;  // initdb on a busy machine
constexpr auto kReadyWait = 30s;
constexpr auto kStopWait = 60s;  // a fast shutdown writes a checkpoint
constexpr auto kGoneWait = 10s;  // processes and the port after the postmaster ended
constexpr const char* kVersionsFolder = "/usr/lib/postgresql";
constexpr const char* kServerUser = "postgres";

bool executable(const std::string& path) { return ::access(path.c_str(), X_OK) == 0; }

// "15" < "16", "9.6" < "10": the folder names compared as dotted numbers.
bool olderVersion(const std::string& a, const std::string& b) {
  std::istringstream sa(a), sb(b);
  std::string pa, pb;
  while (true) {
    const bool moreA = static_cast<bool>(std::getline(sa, pa, '.'));
    const bool moreB = static_cast<bool>(std::getline(sb, pb, '.'));
    if (!moreA || !moreB) return !moreA && moreB;
    const long na = std::strtol(pa.c_str(), nullptr, 10), nb = std::strtol(pb.c_str(), nullptr, 10);
    if (na != nb) return na < nb;
  }
}

// The bin folder of the highest installed version that holds both initdb and postgres;
// empty when there is none.
std::string binFolder() {
  std::error_code ec;
  std::string best, bestVersion;
  for (const auto& entry : std::filesystem::directory_iterator(kVersionsFolder, ec)) {
    const std::string version = entry.path().filename().string();
    if (version.empty() || !std::isdigit(static_cast<unsigned char>(version[0]))) continue;
    const std::string bin = entry.path().string() + "/bin";
    if (!executable(bin + "/initdb") || !executable(bin + "/postgres")) continue;
    if (best.empty() || olderVersion(bestVersion, version)) {
      best = bin;
      bestVersion = version;
    }
  }
  return best;
}

// Who initdb and postgres run as: the caller, or "postgres" when the caller is root.
struct Account {
  bool drop = false;
  uid_t uid = 0;
  gid_t gid = 0;
  std::vector<gid_t> groups;
};

std::optional<Account> serverAccount(std::string& error) {
  Account a;
  if (::geteuid() != 0) return a;
  const passwd* pw = ::getpwnam(kServerUser);
  if (!pw) {
    error = std::string("running as root, and there is no user \"") + kServerUser +
            "\" to run PostgreSQL as (the server refuses root)";
    return std::nullopt;
  }
  a.drop = true;
  a.uid = pw->pw_uid;
  a.gid = pw->pw_gid;
  // The supplementary groups are looked up here, since the child after fork may only
  // make system calls.
  int count = 32;
  a.groups.resize(static_cast<std::size_t>(count));
  while (::getgrouplist(kServerUser, a.gid, a.groups.data(), &count) < 0)
    a.groups.resize(static_cast<std::size_t>(count));
  a.groups.resize(static_cast<std::size_t>(count));
  return a;
}

// Starts `argv` as `account` in `folder`, its output appended to `logPath`. A program
// that outlives the tests is told to quit (SIGQUIT: a postmaster's immediate shutdown).
pid_t spawn(const std::vector<std::string>& argv, const std::string& folder,
            const std::string& logPath, const Account& account) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid != 0) return pid;
  if (account.drop && (::setgroups(account.groups.size(), account.groups.data()) != 0 ||
                       ::setgid(account.gid) != 0 || ::setuid(account.uid) != 0)) {
    ::_exit(126);
  }
  // Set after the change of user, which clears it.
  ::prctl(PR_SET_PDEATHSIG, SIGQUIT);
  if (::getppid() != parent) ::_exit(125);
  if (::chdir(folder.c_str()) != 0) ::_exit(124);
  const int log = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
  const int null = ::open("/dev/null", O_RDONLY);
  if (log < 0 || null < 0) ::_exit(123);
  ::dup2(null, 0);
  ::dup2(log, 1);
  ::dup2(log, 2);
  // The test's own sockets and files stay with the test, not with a long-lived server.
  ::close_range(3, ~0U, 0);
  ::execv(args[0], args.data());
  ::_exit(127);
}

// The wait status of `pid` once it ends, nullopt when it still runs at `until`.
std::optional<int> waitEnd(pid_t pid, Clock::time_point until) {
  while (true) {
    int status = 0;
    const pid_t r = ::waitpid(pid, &status, WNOHANG);
    if (r == pid) return status;
    if (r < 0 && errno != EINTR) return 0;  // reaped elsewhere (SIGCHLD ignored)
    if (Clock::now() >= until) return std::nullopt;
    std::this_thread::sleep_for(20ms);
  }
}

std::string describeStatus(int status) {
  if (WIFEXITED(status)) return "exit status " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return "signal " + std::to_string(WTERMSIG(status));
  return "status " + std::to_string(status);
}

int freeTcpPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof a;
  int port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length) == 0) {
    port = ntohs(a.sin_port);
  }
  ::close(fd);
  return port;
}

bool portAccepts(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<std::uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool accepted = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  ::close(fd);
  return accepted;
}

// The processes whose parent is `parent`, from /proc.
std::vector<pid_t> childrenOf(pid_t parent) {
  std::vector<pid_t> children;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", ec)) {
    const std::string name = entry.path().filename().string();
    if (name.empty() || !std::isdigit(static_cast<unsigned char>(name[0]))) continue;
    std::ifstream in(entry.path() / "stat");
    std::string stat;
    std::getline(in, stat);
    // "pid (command) state ppid ...": the command may hold spaces and parentheses.
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream rest(stat.substr(close + 1));
    char state = 0;
    long ppid = 0;
    if (rest >> state >> ppid && ppid == parent) children.push_back(std::stoi(name));
  }
  return children;
}

// Alive and not yet a zombie.
bool processRuns(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string stat;
  if (!std::getline(in, stat)) return false;
  const std::size_t close = stat.rfind(')');
  return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] != 'Z' &&
         stat[close + 2] != 'X';
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The end of a log, enough for an error message.
std::string tail(const std::string& text, std::size_t size = 4000) {
  return text.size() <= size ? text : "..." + text.substr(text.size() - size);
}

std::string uriPart(const std::string& text) {
  static const char* kHex = "0123456789ABCDEF";
  std::string out;
  for (const unsigned char c : text) {
    if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
    }
  }
  return out;
}

std::string quotedIdentifier(const std::string& name) {
  std::string out = "\"";
  for (const char c : name) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

std::string withoutTrailingNewlines(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

// C.UTF-8 where the C library knows it, so that text functions work on all of Unicode.
std::string clusterLocale() {
  if (const locale_t l = ::newlocale(LC_ALL_MASK, "C.UTF-8", static_cast<locale_t>(0))) {
    ::freelocale(l);
    return "C.UTF-8";
  }
  return "C";
}

}  // namespace

bool PostgresServer::available() {
  if (binFolder().empty()) return false;
  std::string ignored;
  return serverAccount(ignored).has_value();
}

PostgresServer::PostgresServer(bool fast) : fast_(fast) {}

bool PostgresServer::start() {
  error_.clear();
  if (running()) {
    // Running already: ready when it answers.
    const std::string target = uri("postgres", false) + "?connect_timeout=2";
    const auto until = Clock::now() + kReadyWait;
    while (Clock::now() < until) {
      if (::PQping(target.c_str()) == PQPING_OK) return true;
      if (!running()) break;
      std::this_thread::sleep_for(100ms);
    }
    if (running()) {
      error_ = "postgres runs but does not answer: " + tail(log());
      return false;
    }
  }
  const bool made = !folder_.empty() && std::filesystem::exists(folder_ + "/data/PG_VERSION");
  if (!made && !makeCluster()) return false;
  return launch();
}

bool PostgresServer::makeCluster() {
  const std::string bin = binFolder();
  if (bin.empty()) {
    error_ =
        std::string("no PostgreSQL server programs (initdb, postgres) under ") + kVersionsFolder;
    return false;
  }
  const auto account = serverAccount(error_);
  if (!account) return false;
  if (!folder_.empty()) {  // a cluster that was never made whole
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
    folder_.clear();
  }
  char pattern[] = "/tmp/vexil-postgres-XXXXXX";
  if (!::mkdtemp(pattern)) {
    error_ = "cannot make a folder for the server";
    return false;
  }
  folder_ = pattern;
  const std::string pwfile = folder_ + "/superuser-password";
  {
    std::ofstream out(pwfile);
    out << kPassword << "\n";
  }
  ::chmod(pwfile.c_str(), 0600);
  if (account->drop && (::chown(folder_.c_str(), account->uid, account->gid) != 0 ||
                        ::chown(pwfile.c_str(), account->uid, account->gid) != 0)) {
    error_ = "cannot give " + folder_ + " to the user " + kServerUser;
    return false;
  }
  port_ = freeTcpPort();
  if (port_ == 0) {
    error_ = "no free TCP port on 127.0.0.1";
    return false;
  }
  // clang-format off
  std::vector<std::string> argv = {bin + "/initdb",
                                   "-D", folder_ + "/data",
                                   "-U", kSuperuser,
                                   "--pwfile=" + pwfile,
                                   "--auth-local=trust",
                                   "--auth-host=scram-sha-256",
                                   "-E", "UTF8",
                                   "--locale=" + clusterLocale(),
                                   "--no-instructions"};
  // clang-format on
  if (fast_) argv.push_back("--no-sync");
  const pid_t pid = spawn(argv, folder_, folder_ + "/server.log", *account);
  if (pid < 0) {
    error_ = "cannot start initdb";
    return false;
  }
  const auto status = waitEnd(pid, Clock::now() + kInitWait);
  std::filesystem::remove(pwfile);
  if (!status) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    error_ = "initdb did not finish within 120 s: " + tail(log());
    return false;
  }
  if (!WIFEXITED(*status) || WEXITSTATUS(*status) != 0) {
    error_ = "initdb failed (" + describeStatus(*status) + "): " + tail(log());
    return false;
  }
  return true;
}

bool PostgresServer::launch() {
  const auto account = serverAccount(error_);
  if (!account) return false;
  // clang-format off
  std::vector<std::string> argv = {binFolder() + "/postgres",
                                   "-D", folder_ + "/data",
                                   "-c", "listen_addresses=127.0.0.1",
                                   "-c", "port=" + std::to_string(port_),
                                   "-c", "unix_socket_directories=" + folder_,
                                   "-c", "max_connections=200",
                                   "-c", "logging_collector=off"};
  // clang-format on
  if (fast_) argv.insert(argv.end(), {"-c", "fsync=off", "-c", "full_page_writes=off"});
  pid_ = spawn(argv, folder_, folder_ + "/server.log", *account);
  if (pid_ < 0) {
    error_ = "cannot start postgres";
    return false;
  }
  // Ready when it takes connections; a server recovering from a crash rejects them
  // until it is done.
  const std::string target = uri("postgres", false) + "?connect_timeout=2";
  const auto until = Clock::now() + kReadyWait;
  while (Clock::now() < until) {
    if (::PQping(target.c_str()) == PQPING_OK) return true;
    if (const auto status = waitEnd(pid_, Clock::now())) {
      pid_ = -1;
      error_ = "postgres ended at start (" + describeStatus(*status) + "): " + tail(log());
      return false;
    }
    std::this_thread::sleep_for(100ms);
  }
  kill();
  error_ =
      "postgres did not answer on port " + std::to_string(port_) + " within 30 s: " + tail(log());
  return false;
}

bool PostgresServer::running() {
  if (pid_ <= 0) return false;
  if (waitEnd(pid_, Clock::now())) pid_ = -1;
  return pid_ > 0;
}

bool PostgresServer::stop() {
  bool clean = true;
  if (running()) {
    ::kill(pid_, SIGINT);  // fast shutdown
    const auto status = waitEnd(pid_, Clock::now() + kStopWait);
    if (!status) {
      kill();
      error_ = "postgres did not stop within 60 s; killed: " + tail(log());
      clean = false;
    } else if (!WIFEXITED(*status) || WEXITSTATUS(*status) != 0) {
      error_ = "postgres stopped with " + describeStatus(*status) + ": " + tail(log());
      clean = false;
    }
    pid_ = -1;
  }
  if (port_ == 0) return clean;
  const auto until = Clock::now() + kGoneWait;
  while (portAccepts(port_)) {
    if (Clock::now() >= until) {
      error_ = "port " + std::to_string(port_) + " still accepts after the server stopped";
      return false;
    }
    std::this_thread::sleep_for(50ms);
  }
  return clean;
}

void PostgresServer::kill() {
  if (!running()) return;
  // Stopped first, so that it starts no process between the listing and the kill.
  ::kill(pid_, SIGSTOP);
  const std::vector<pid_t> children = childrenOf(pid_);
  ::kill(pid_, SIGKILL);
  for (const pid_t child : children) ::kill(child, SIGKILL);
  ::waitpid(pid_, nullptr, 0);
  pid_ = -1;
  // The next start refuses while any of them still holds the shared memory.
  const auto until = Clock::now() + kGoneWait;
  while (std::any_of(children.begin(), children.end(), processRuns) && Clock::now() < until)
    std::this_thread::sleep_for(20ms);
}

void PostgresServer::freeze(bool frozen) {
  if (!running()) return;
  const int signal = frozen ? SIGSTOP : SIGCONT;
  ::kill(pid_, signal);
  for (const pid_t child : childrenOf(pid_)) ::kill(child, signal);
}

void PostgresServer::removeLeftSharedMemory() const {
  // postmaster.pid is left only by a server that did not stop cleanly; its seventh line
  // names the System V segment, which outlives the processes.
  std::ifstream in(folder_ + "/data/postmaster.pid");
  std::string line;
  for (int i = 0; i < 7 && std::getline(in, line); ++i) {
  }
  if (!in) return;
  std::istringstream fields(line);
  long key = 0, id = -1;
  if (!(fields >> key >> id) || id < 0) return;
  shmid_ds ds{};
  if (::shmctl(static_cast<int>(id), IPC_STAT, &ds) == 0 && ds.shm_perm.__key == key &&
      ds.shm_nattch == 0) {
    ::shmctl(static_cast<int>(id), IPC_RMID, nullptr);
  }
}

void PostgresServer::destroy() {
  if (folder_.empty()) return;
  if (running()) stop();
  removeLeftSharedMemory();
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
  folder_.clear();
  port_ = 0;
}

std::string PostgresServer::uri(const std::string& db, bool withPassword, const std::string& user,
                                const std::string& password) const {
  std::string text = "postgresql://" + uriPart(user);
  if (withPassword) text += ":" + uriPart(password);
  return text + "@127.0.0.1:" + std::to_string(port_) + "/" + uriPart(db);
}

SqlResult PostgresServer::exec(const std::string& sql, const std::string& db) const {
  SqlResult result;
  if (port_ == 0) {
    result.error = "the server was never started";
    return result;
  }
  PGconn* conn = ::PQconnectdb((uri(db) + "?connect_timeout=10").c_str());
  if (::PQstatus(conn) != CONNECTION_OK) {
    result.error = withoutTrailingNewlines(::PQerrorMessage(conn));
    ::PQfinish(conn);
    return result;
  }
  // Notices ("... does not exist, skipping") would go to the test's stderr.
  ::PQsetNoticeProcessor(
      conn, [](void*, const char*) {}, nullptr);
  PGresult* res = ::PQexec(conn, sql.c_str());
  switch (::PQresultStatus(res)) {
    case PGRES_TUPLES_OK:
      for (int r = 0; r < ::PQntuples(res); ++r) {
        std::vector<std::optional<std::string>> row;
        for (int c = 0; c < ::PQnfields(res); ++c) {
          if (::PQgetisnull(res, r, c)) {
            row.emplace_back(std::nullopt);
          } else {
            row.emplace_back(std::string(::PQgetvalue(res, r, c),
                                         static_cast<std::size_t>(::PQgetlength(res, r, c))));
          }
        }
        result.rows.push_back(std::move(row));
      }
      result.ok = true;
      break;
    case PGRES_COMMAND_OK:
    case PGRES_EMPTY_QUERY:
      result.ok = true;
      break;
    default:
      result.error =
          withoutTrailingNewlines(res ? ::PQresultErrorMessage(res) : ::PQerrorMessage(conn));
      if (result.error.empty()) result.error = ::PQresStatus(::PQresultStatus(res));
      break;
  }
  ::PQclear(res);
  ::PQfinish(conn);
  return result;
}

bool PostgresServer::createDatabase(const std::string& name) {
  // Two texts: CREATE DATABASE refuses to run in the transaction of a multi-statement text.
  const std::string quoted = quotedIdentifier(name);
  SqlResult r = exec("DROP DATABASE IF EXISTS " + quoted + " WITH (FORCE)");
  if (r.ok) r = exec("CREATE DATABASE " + quoted);
  if (!r.ok) error_ = "cannot create database " + name + ": " + r.error;
  return r.ok;
}

std::string PostgresServer::log() const {
  return folder_.empty() ? std::string() : readFile(folder_ + "/server.log");
}

}  // namespace vexil::testing
