#include "records/Database.h"

#include <libpq-fe.h>
#include <poll.h>
#include <pwd.h>
#include <unistd.h>

#include <array>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

namespace vexil::records {
namespace {

// Serialises schema changes of stations that start at the same moment on a new database.
constexpr long long kSchemaLockKey = 0x5645584C;  // "VEXL"
// libpq's defaults where the URI says nothing: a bounded wait for an answer, so a station
// whose server is away journals and goes on instead of hanging.
constexpr char kConnectTimeoutSeconds[] = "5";
constexpr char kTcpUserTimeoutMs[] = "10000";
constexpr char kApplicationName[] = "vexilctl";
// How long an answer may take once a request is sent. A server that stops answering
// (frozen, or a network that drops packets without a word) must not hang a station:
// its rows wait in the journal instead.
constexpr auto kAnswerTimeout = std::chrono::seconds(10);
constexpr int kColumns = 12;

// Each migration's statements, index = the version it brings the schema to, minus 1.
constexpr std::array<const char*, kSchemaVersion> kMigrations = {
    "CREATE TABLE vexil_schema (version integer NOT NULL);"
    "INSERT INTO vexil_schema (version) VALUES (0);"
    "CREATE TABLE vexil_setup ("
    "  id uuid PRIMARY KEY,"
    "  time timestamptz NOT NULL,"
    "  station text NOT NULL,"
    "  operator text,"
    "  address text NOT NULL,"
    "  type integer,"
    "  version text,"
    "  serial bigint,"
    "  user_text text,"
    "  result text NOT NULL,"
    "  failure text NOT NULL DEFAULT '',"
    "  program_version text NOT NULL);",
    "CREATE INDEX vexil_setup_serial ON vexil_setup (serial);"
    "CREATE INDEX vexil_setup_time ON vexil_setup (time);",
};

constexpr char kInsertHead[] =
    "INSERT INTO vexil_setup (id, time, station, operator, address,"
    " type, version, serial, user_text, result, failure, program_version) VALUES ";
constexpr char kInsertTail[] = " ON CONFLICT (id) DO NOTHING";
constexpr char kInsertName[] = "vexil_insert_setup";
constexpr const char* kColumnTypes[kColumns] = {"uuid", "timestamptz", "text", "text",
                                                "text", "integer",     "text", "bigint",
                                                "text", "text",        "text", "text"};

constexpr char kQuery[] =
    "SELECT id::text,"
    " to_char(time AT TIME ZONE 'UTC', 'YYYY-MM-DD\"T\"HH24:MI:SS.MS\"Z\"'),"
    " station, operator, address, type, version, serial, user_text,"
    " result, failure, program_version FROM vexil_setup"
    " WHERE ($1::bigint IS NULL OR serial = $1::bigint)"
    " AND ($2::timestamptz IS NULL OR time >= $2::timestamptz)"
    " AND ($3::text IS NULL OR station = $3::text)"
    " AND ($4::text IS NULL OR result = $4::text)"
    " ORDER BY time, id";

// libpq's message on one line: its continuation lines ("\n\tIs the server running...")
// joined with a blank, the last line break dropped.
std::string oneLine(const char* text) {
  std::string s;
  for (const char* p = text ? text : ""; *p; ++p) {
    if (*p == '\n' || *p == '\t') {
      if (!s.empty() && s.back() != ' ') s += ' ';
    } else {
      s += *p;
    }
  }
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

// A result that frees itself.
struct Result {
  explicit Result(PGresult* r) : r(r) {}
  ~Result() { PQclear(r); }
  Result(const Result&) = delete;
  Result& operator=(const Result&) = delete;
  bool ok() const {
    const auto status = PQresultStatus(r);
    return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
  }
  std::optional<std::string> text(int row, int column) const {
    if (PQgetisnull(r, row, column)) return std::nullopt;
    return std::string(PQgetvalue(r, row, column),
                       static_cast<std::size_t>(PQgetlength(r, row, column)));
  }
  PGresult* r;
};

// True for a row's error that sending again will not mend: a right the role lacks or a
// table not as this program made it (class 42), a server that takes no writes (25006),
// a value the table cannot hold (classes 22 and 23). A deadlock, a server shutting down
// or a lost connection pass by themselves.
bool refusalLasts(const char* sqlState) {
  if (!sqlState) return false;
  const std::string_view code(sqlState);
  return code.starts_with("42") || code == "25006" || code.starts_with("22") ||
         code.starts_with("23");
}

std::string millisSinceEpochText(std::int64_t ms) {
  const auto at = std::chrono::system_clock::time_point(std::chrono::milliseconds(ms));
  return utcTimeText(at);
}

}  // namespace

struct Database::Impl {
  std::string uri;
  PGconn* conn = nullptr;
  bool timedOut = false;  // the last wait for an answer ran out: the connection is spent

  ~Impl() { close(); }
  void close() {
    if (conn) PQfinish(conn);
    conn = nullptr;
    prepared = false;
    timedOut = false;
  }

  std::string failure() const {
    if (timedOut) {
      return "the server did not answer within " + std::to_string(kAnswerTimeout.count()) + " s";
    }
    return oneLine(PQerrorMessage(conn));
  }
  bool lost() const { return !conn || timedOut || PQstatus(conn) != CONNECTION_OK; }

  // Waits until the connection holds a whole result (or the end of one), at most the
  // answer time. False when the time ran out or the connection broke.
  bool awaitAnswer() {
    const auto deadline = std::chrono::steady_clock::now() + kAnswerTimeout;
    while (PQisBusy(conn)) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) {
        timedOut = true;
        return false;
      }
      pollfd ready{PQsocket(conn), POLLIN, 0};
      const int n = ::poll(&ready, 1, static_cast<int>(left.count()));
      if (n < 0 && errno != EINTR) return false;
      if (n > 0 && PQconsumeInput(conn) == 0) return false;
    }
    return true;
  }

  // PQgetResult with the wait bounded: null at the end of a command's results, and
  // also when no answer came (then `timedOut` or the connection's state says so).
  PGresult* next() { return timedOut || !awaitAnswer() ? nullptr : PQgetResult(conn); }

  // The last result of a request already sent, its wait bounded.
  PGresult* lastResult() {
    PGresult* last = nullptr;
    for (PGresult* r; (r = next()) != nullptr;) {
      PQclear(last);
      last = r;
    }
    if (timedOut) {
      PQclear(last);
      return nullptr;
    }
    return last;
  }

  // PQexec, PQexecParams and PQprepare with the wait bounded.
  PGresult* run(const char* sql) { return PQsendQuery(conn, sql) ? lastResult() : nullptr; }
  PGresult* run(const char* sql, int count, const char* const* values) {
    return PQsendQueryParams(conn, sql, count, nullptr, values, nullptr, nullptr, 0) ? lastResult()
                                                                                    : nullptr;
  }

  Connection open(std::string& error) {
    close();
    // The defaults come first: whatever the URI (expanded in place of "dbname") says wins.
    const char* keys[] = {"connect_timeout", "tcp_user_timeout", "fallback_application_name",
                          "client_encoding", "dbname", nullptr};
    const char* values[] = {kConnectTimeoutSeconds, kTcpUserTimeoutMs, kApplicationName, "UTF8",
                            uri.c_str(), nullptr};
    conn = PQconnectdbParams(keys, values, 1);
    if (!conn) {
      error = "out of memory";
      return Connection::Unreachable;
    }
    if (PQstatus(conn) != CONNECTION_OK) {
      error = failure();
      close();
      return Connection::Unreachable;
    }
    return Connection::Ready;
  }

  bool exec(const std::string& sql, std::string& error) {
    Result r(run(sql.c_str()));
    if (r.ok()) return true;
    error = failure();
    return false;
  }

  void rollback() {
    Result r(run("ROLLBACK"));
  }

  // In an open transaction holding the schema lock: the version present.
  std::optional<int> versionInTransaction(std::string& error) {
    Result tables(run(
                         "SELECT to_regclass('vexil_schema') IS NOT NULL,"
                         " to_regclass('vexil_setup') IS NOT NULL"));
    if (!tables.ok()) {
      error = failure();
      return std::nullopt;
    }
    const bool hasVersion = tables.text(0, 0) == std::optional<std::string>("t");
    const bool hasRecords = tables.text(0, 1) == std::optional<std::string>("t");
    if (!hasVersion) {
      if (hasRecords) {
        error = "the database holds a vexil_setup table without a vexil_schema version table: "
                "not one this program made";
        return std::nullopt;
      }
      return 0;
    }
    Result version(run("SELECT max(version) FROM vexil_schema"));
    if (!version.ok() || PQntuples(version.r) != 1) {
      error = failure();
      return std::nullopt;
    }
    return std::atoi(version.text(0, 0).value_or("0").c_str());
  }

  // The version when the version table is there, read in one round trip without a
  // transaction: the common case. Nothing when the locked check must decide (no table,
  // no right to read it).
  std::optional<int> currentVersion() {
    Result version(run("SELECT max(version) FROM vexil_schema"));
    if (!version.ok() || PQntuples(version.r) != 1 || !version.text(0, 0)) return std::nullopt;
    return std::atoi(version.text(0, 0)->c_str());
  }

  // Brings the schema to `target` in one transaction; refuses a newer one.
  bool migrate(int target, std::string& error) {
    if (target == kSchemaVersion && currentVersion() == kSchemaVersion) return true;
    if (!exec("BEGIN", error)) return false;
    if (!exec("SELECT pg_advisory_xact_lock(" + std::to_string(kSchemaLockKey) + ")", error)) {
      rollback();
      return false;
    }
    const auto present = versionInTransaction(error);
    if (!present) {
      rollback();
      return false;
    }
    if (*present > kSchemaVersion) {
      rollback();
      error = "the database's production schema is version " + std::to_string(*present) +
              ", newer than this vexilctl " VEXIL_RECORDS_VERSION " writes (version " +
              std::to_string(kSchemaVersion) + "); use a newer vexilctl";
      return false;
    }
    for (int v = *present + 1; v <= target; ++v) {
      std::string why;
      if (!exec(kMigrations[static_cast<std::size_t>(v - 1)], why)) {
        rollback();
        error = "cannot bring the production schema from version " + std::to_string(*present) +
                " to " + std::to_string(target) + ": " + why;
        return false;
      }
    }
    if (target > *present &&
        !exec("UPDATE vexil_schema SET version = " + std::to_string(target), error)) {
      rollback();
      return false;
    }
    return exec("COMMIT", error);
  }

  // The parameters of one record, in the table's column order.
  static void parametersOf(const SetupRecord& r, std::vector<std::optional<std::string>>& out) {
    out.push_back(r.id);
    out.push_back(r.time);
    out.push_back(r.station);
    out.push_back(r.operatorName.empty() ? std::nullopt : std::optional(r.operatorName));
    out.push_back(r.address);
    out.push_back(r.type ? std::optional(std::to_string(*r.type)) : std::nullopt);
    out.push_back(r.version);
    out.push_back(r.serial ? std::optional(std::to_string(*r.serial)) : std::nullopt);
    out.push_back(r.userText);
    out.push_back(r.result);
    out.push_back(r.failure);
    out.push_back(r.programVersion);
  }

  bool prepared = false;

  // The INSERT parsed and planned once a connection, not once a row.
  bool prepare(std::string& error) {
    if (prepared) return true;
    Result r(PQsendPrepare(conn, kInsertName, insertSql().c_str(), kColumns, nullptr) ? lastResult()
                                                                                       : nullptr);
    if (!r.ok()) {
      error = failure();
      return false;
    }
    prepared = true;
    return true;
  }

  // Queues one row's INSERT and the sync that ends its transaction, in pipeline mode.
  bool sendRow(const SetupRecord& record) {
    std::vector<std::optional<std::string>> params;
    params.reserve(kColumns);
    parametersOf(record, params);
    const char* values[kColumns];
    for (int i = 0; i < kColumns; ++i) values[i] = params[static_cast<std::size_t>(i)] ? params[static_cast<std::size_t>(i)]->c_str() : nullptr;
    return PQsendQueryPrepared(conn, kInsertName, kColumns, values, nullptr, nullptr, 0) == 1 &&
           PQpipelineSync(conn) == 1;
  }

  static const std::string& insertSql() {
    static const std::string sql = [] {
      std::string text = kInsertHead;
      text += "(";
      for (int c = 0; c < kColumns; ++c) {
        text += (c ? ",$" : "$") + std::to_string(c + 1) + "::" + kColumnTypes[c];
      }
      return text + ")" + kInsertTail;
    }();
    return sql;
  }
};

Database::Database(std::string uri) : impl_(std::make_unique<Impl>()) { impl_->uri = std::move(uri); }
Database::~Database() = default;

Connection Database::connectOnly(std::string& error) { return impl_->open(error); }

Connection Database::connect(std::string& error) {
  const Connection c = impl_->open(error);
  if (c != Connection::Ready) return c;
  // The INSERT prepared here too, so that the first rows find the table's caches warm.
  if (!impl_->migrate(kSchemaVersion, error) || !impl_->prepare(error)) {
    // A connection lost (or an answer that never came) while checking is an outage
    // like any other.
    const bool lost = impl_->lost();
    impl_->close();
    return lost ? Connection::Unreachable : Connection::Refused;
  }
  return Connection::Ready;
}

bool Database::connected() const { return !impl_->lost(); }

void Database::disconnect() { impl_->close(); }

Database::Written Database::insert(const std::vector<SetupRecord>& records) {
  Written w;
  if (!connected()) {
    w.lost = true;
    w.error = "not connected";
    return w;
  }
  if (records.empty()) return w;
  PGconn* conn = impl_->conn;
  if (std::string why; !impl_->prepare(why)) {
    w.lost = !connected();
    w.error = why;
    if (w.lost) impl_->close();
    return w;
  }
  if (PQenterPipelineMode(conn) != 1) {
    w.lost = !connected();
    w.error = impl_->failure();
    return w;
  }
  std::size_t sent = 0;
  while (sent < records.size() && impl_->sendRow(records[sent])) ++sent;
  // Each row's answer: its command's result, the null that ends it, then its sync.
  for (std::size_t i = 0; i < sent; ++i) {
    PGresult* result = impl_->next();
    if (!result) break;
    const ExecStatusType status = PQresultStatus(result);
    const bool ok = status == PGRES_COMMAND_OK;
    if (!ok) {
      w.error = oneLine(PQresultErrorMessage(result));
      if (refusalLasts(PQresultErrorField(result, PG_DIAG_SQLSTATE))) w.refused = true;
    }
    PQclear(result);
    if (status == PGRES_PIPELINE_SYNC) break;  // out of step: trust nothing further
    if (PGresult* extra = impl_->next()) {
      PQclear(extra);
      break;
    }
    if (impl_->timedOut) break;
    PGresult* sync = impl_->next();
    const bool synced = sync && PQresultStatus(sync) == PGRES_PIPELINE_SYNC;
    PQclear(sync);
    if (!synced) break;
    w.taken.push_back(ok);
    ++w.answered;
  }
  if (w.answered < records.size()) {
    // The connection went (or fell out of step) before every row was answered: the
    // rest have no outcome and go again later; their keys drop any that did commit.
    w.lost = true;
    w.error = impl_->failure();
    impl_->close();
    return w;
  }
  PQexitPipelineMode(conn);
  return w;
}

std::optional<std::vector<SetupRecord>> Database::query(const RecordFilter& f, std::string& error) {
  if (!connected()) {
    error = "not connected";
    return std::nullopt;
  }
  const std::optional<std::string> params[] = {
      f.serial ? std::optional(std::to_string(*f.serial)) : std::nullopt,
      f.sinceMs ? std::optional(millisSinceEpochText(*f.sinceMs)) : std::nullopt, f.station,
      f.result};
  const char* values[4];
  for (int i = 0; i < 4; ++i) values[i] = params[i] ? params[i]->c_str() : nullptr;
  Result r(impl_->run(kQuery, 4, values));
  if (!r.ok()) {
    error = impl_->failure();
    return std::nullopt;
  }
  std::vector<SetupRecord> rows;
  for (int i = 0; i < PQntuples(r.r); ++i) {
    SetupRecord s;
    s.id = r.text(i, 0).value_or("");
    s.time = r.text(i, 1).value_or("");
    s.station = r.text(i, 2).value_or("");
    s.operatorName = r.text(i, 3).value_or("");
    s.address = r.text(i, 4).value_or("");
    if (const auto t = r.text(i, 5)) s.type = static_cast<std::uint16_t>(std::atoi(t->c_str()));
    s.version = r.text(i, 6);
    if (const auto t = r.text(i, 7)) s.serial = static_cast<std::int32_t>(std::atoll(t->c_str()));
    s.userText = r.text(i, 8);
    s.result = r.text(i, 9).value_or("");
    s.failure = r.text(i, 10).value_or("");
    s.programVersion = r.text(i, 11).value_or("");
    rows.push_back(std::move(s));
  }
  return rows;
}

std::optional<int> Database::schemaVersion(std::string& error) {
  if (!connected()) {
    error = "not connected";
    return std::nullopt;
  }
  if (!impl_->exec("BEGIN", error)) return std::nullopt;
  const auto v = impl_->versionInTransaction(error);
  impl_->rollback();
  return v;
}

bool Database::migrateTo(int version, std::string& error) {
  if (!connected()) {
    error = "not connected";
    return false;
  }
  return impl_->migrate(std::min(version, kSchemaVersion), error);
}

bool isDatabaseUri(const std::string& text) {
  return text.rfind("postgresql://", 0) == 0 || text.rfind("postgres://", 0) == 0;
}

std::optional<std::string> connectionStringProblem(const std::string& uri) {
  char* problem = nullptr;
  PQconninfoOption* options = PQconninfoParse(uri.c_str(), &problem);
  std::optional<std::string> why;
  if (!options) {
    // libpq quotes the token it could not read, which may be the password: its message
    // is kept only up to the quote.
    std::string text = problem ? oneLine(problem) : std::string("out of memory");
    if (const std::size_t quote = text.find('"'); quote != std::string::npos) {
      text.erase(quote);
      while (!text.empty() && (text.back() == ' ' || text.back() == ':')) text.pop_back();
    }
    why = text;
  } else {
    for (PQconninfoOption* o = options; o->keyword; ++o) {
      if (std::string(o->keyword) != "port" || !o->val) continue;
      // A list of numbers, one per host. Anything else most often comes from a '/' or
      // '@' in the password that was not percent-encoded, so the value is not repeated.
      const std::string port = o->val;
      const bool numbers = !port.empty() && port.find_first_not_of("0123456789,") == std::string::npos;
      if (!numbers) {
        why = "its port is not a number (characters such as / @ : in the user name or the "
              "password must be percent-encoded)";
      }
    }
  }
  PQconninfoFree(options);
  PQfreemem(problem);
  return why;
}

namespace {

// True for a parameter name whose value is a secret: password, sslpassword.
bool secretKey(std::string_view key) {
  while (!key.empty() && key.back() == ' ') key.remove_suffix(1);
  while (!key.empty() && key.front() == ' ') key.remove_prefix(1);
  std::string lower(key);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower.find("password") != std::string::npos;
}

// A URI's query with the values of secret parameters made "***".
std::string maskedQuery(const std::string& query) {
  std::string out;
  std::size_t p = 0;
  while (p <= query.size()) {
    std::size_t end = query.find('&', p);
    if (end == std::string::npos) end = query.size();
    const std::string item = query.substr(p, end - p);
    const std::size_t eq = item.find('=');
    if (!out.empty()) out += '&';
    out += eq != std::string::npos && secretKey(std::string_view(item).substr(0, eq))
               ? item.substr(0, eq + 1) + "***"
               : item;
    p = end + 1;
  }
  return out;
}

// A key=value string with the values of secret keys made "***": spaces may stand around
// '=', and a value may be quoted with '...' and backslash escapes.
std::string maskedKeyValues(const std::string& text) {
  std::string out;
  std::size_t p = 0;
  const auto skipSpaces = [&](std::size_t i) {
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    return i;
  };
  while (p < text.size()) {
    const std::size_t keyStart = skipSpaces(p);
    out.append(text, p, keyStart - p);
    std::size_t eq = text.find('=', keyStart);
    if (eq == std::string::npos) {
      out.append(text, keyStart, std::string::npos);
      break;
    }
    const std::string key = text.substr(keyStart, eq - keyStart);
    const std::size_t valueStart = skipSpaces(eq + 1);
    std::size_t valueEnd = valueStart;
    if (valueEnd < text.size() && text[valueEnd] == '\'') {
      for (++valueEnd; valueEnd < text.size() && text[valueEnd] != '\''; ++valueEnd) {
        if (text[valueEnd] == '\\') ++valueEnd;
      }
      if (valueEnd < text.size()) ++valueEnd;
    } else {
      while (valueEnd < text.size() && !std::isspace(static_cast<unsigned char>(text[valueEnd]))) ++valueEnd;
    }
    out.append(text, keyStart, valueStart - keyStart);
    out += secretKey(key) ? std::string("***") : text.substr(valueStart, valueEnd - valueStart);
    p = valueEnd;
  }
  return out;
}

}  // namespace

std::string displayDestination(const std::string& uri) {
  if (!isDatabaseUri(uri)) return maskedKeyValues(uri);
  const std::size_t start = uri.find("://") + 3;
  const std::size_t queryAt = uri.find('?', start);
  std::string head = uri.substr(0, queryAt);
  // The user information ends at the last '@' before the query: a '/' or ':' that was
  // not percent-encoded in the password must not move the end.
  const std::size_t at = head.rfind('@');
  if (at != std::string::npos && at >= start) {
    const std::size_t colon = head.find(':', start);
    if (colon != std::string::npos && colon < at) head.erase(colon, at - colon);
  }
  return queryAt == std::string::npos ? head : head + "?" + maskedQuery(uri.substr(queryAt + 1));
}

std::string destinationKey(const std::string& uri) {
  std::string user, host, port, dbname;
  char* problem = nullptr;
  if (PQconninfoOption* options = PQconninfoParse(uri.c_str(), &problem)) {
    for (PQconninfoOption* o = options; o->keyword; ++o) {
      if (!o->val) continue;
      const std::string key = o->keyword;
      if (key == "user") user = o->val;
      if (key == "host" || (key == "hostaddr" && host.empty())) host = o->val;
      if (key == "port") port = o->val;
      if (key == "dbname") dbname = o->val;
    }
    PQconninfoFree(options);
  }
  PQfreemem(problem);
  const auto env = [](const char* name, std::string fallback) {
    const char* v = std::getenv(name);
    return v && v[0] ? std::string(v) : fallback;
  };
  if (user.empty()) {
    const passwd* pw = ::getpwuid(::getuid());
    user = env("PGUSER", pw ? pw->pw_name : "user");
  }
  if (host.empty()) host = env("PGHOST", "local");
  if (port.empty()) port = env("PGPORT", "5432");
  if (dbname.empty()) dbname = env("PGDATABASE", user);
  std::string key = user + "@" + host + "_" + port + "_" + dbname;
  for (char& c : key) {
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                       c == '.' || c == '-' || c == '@' || c == '_';
    if (!plain) c = '_';
  }
  return key;
}

}  // namespace vexil::records
