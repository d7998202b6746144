// The production database for real: Debian's PostgreSQL started on loopback, the real
// vexilctl setting up emulated boards against it. Rows whole and correct; a server that
// stops in the middle of a run or is away for a whole run; a flush killed half-way and
// a flush whose marks were lost; several stations creating the schema at once; an older
// schema migrated and a newer one refused; a role that may only insert and read; the
// password from PGPASSFILE and never shown; sslmode passed through; the query's filters.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <thread>

#include <libpq-fe.h>

#include "records/Database.h"
#include "records/FlatJson.h"
#include "records/Journal.h"
#include "sim/DeviceEmulator.h"
#include "tests/records/PostgresServer.h"
#include "tests/support/ChildProcess.h"

using namespace vexil;
using namespace vexil::testing;
using namespace std::chrono_literals;
using Args = std::vector<std::string>;

namespace {

constexpr const char* kBoardAddress = "127.0.0.1";

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

struct RunResult {
  int exit = -1;
  std::string out;
  std::string err;
};

// vexilctl as a process of its own, with `env` set in the test's environment.
class Vexilctl {
 public:
  Vexilctl(const Args& args, const std::map<std::string, std::string>& env, const std::string& folder)
      : outPath_(folder + "/out." + std::to_string(++count_)),
        errPath_(outPath_ + ".err"),
        child_(withProgram(args), {.outPath = outPath_, .errPath = errPath_, .env = env}) {}
  RunResult wait() {
    RunResult r;
    r.exit = child_.wait();
    r.out = readFile(outPath_);
    r.err = readFile(errPath_);
    return r;
  }
  void kill() { child_.sendSignal(SIGKILL); }

 private:
  static std::vector<std::string> withProgram(const Args& args) {
    std::vector<std::string> argv{VEXILCTL_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
  }
  static inline int count_ = 0;
  std::string outPath_, errPath_;
  ChildProcess child_;
};

class ProductionDatabase : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!PostgresServer::available()) return;
    server_ = std::make_unique<PostgresServer>();
    if (!server_->start()) {
      startError_ = server_->error() + "\n" + server_->log();
      server_.reset();
    }
  }
  static void TearDownTestSuite() { server_.reset(); }

  void SetUp() override {
    if (!PostgresServer::available()) GTEST_SKIP() << "PostgreSQL's server programs are not installed";
    ASSERT_TRUE(server_) << "the server did not start: " << startError_;
    ASSERT_TRUE(server_->start()) << server_->error();  // again, when a test stopped it
    folder_ = ::testing::TempDir() + "vexil-db-" + std::to_string(::getpid()) + "-" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
    db_ = "t" + std::to_string(++databases_);
    ASSERT_TRUE(server_->createDatabase(db_)) << server_->error();
  }

  std::string uri(bool withPassword = true) const { return server_->uri(db_, withPassword); }
  std::string journal() const { return folder_ + "/journal.jsonl"; }

  // Boards with serials first, first+1, ...; `type` for all of them.
  void boards(int count, std::int32_t firstSerial, std::uint16_t type = 7163) {
    for (int i = 0; i < count; ++i) {
      sim::DeviceState state = sim::defaultDeviceState();
      state.serial = static_cast<std::uint32_t>(firstSerial + i);
      state.deviceType = type;
      auto board = std::make_unique<sim::DeviceEmulator>(state);
      ASSERT_TRUE(board->start(kBoardAddress, 0)) << board->error();
      targets_.push_back(std::string(kBoardAddress) + ":" + std::to_string(board->port()));
      emulators_.push_back(std::move(board));
    }
  }
  Args deviceArgs(std::size_t from = 0, std::size_t to = SIZE_MAX) const {
    Args args;
    for (std::size_t i = from; i < std::min(to, targets_.size()); ++i) {
      args.push_back("--device");
      args.push_back(targets_[i]);
    }
    return args;
  }
  std::map<std::string, std::string> env() const {
    return {{"XDG_STATE_HOME", folder_ + "/state"}, {"PGPASSFILE", folder_ + "/no-passfile"}};
  }
  RunResult run(Args args, std::map<std::string, std::string> extra = {}) {
    auto e = env();
    for (auto& [k, v] : extra) e[k] = v;
    return Vexilctl(args, e, folder_).wait();
  }
  RunResult setup(std::size_t from, std::size_t to, Args more = {}) {
    Args args = deviceArgs(from, to);
    args.insert(args.end(), {"setup", "--log", uri(), "--journal", journal()});
    args.insert(args.end(), more.begin(), more.end());
    return run(args);
  }

  SqlResult sql(const std::string& text) const { return server_->exec(text, db_); }
  // serial → how many rows hold it.
  std::map<std::string, int> rowsBySerial() const {
    std::map<std::string, int> counts;
    const SqlResult r = sql("SELECT serial::text, count(*)::text FROM vexil_setup GROUP BY serial");
    EXPECT_TRUE(r.ok) << r.error;
    for (const auto& row : r.rows) counts[row[0].value_or("null")] = std::stoi(row[1].value_or("0"));
    return counts;
  }
  std::size_t waitingInJournal() const {
    records::Journal j(journal());
    std::string error;
    records::JournalContents c;
    EXPECT_TRUE(j.open(error) && j.read(c, error)) << error;
    return c.waiting.size();
  }
  static std::map<std::string, int> expectedOnce(std::int32_t first, int count) {
    std::map<std::string, int> m;
    for (int i = 0; i < count; ++i) m[std::to_string(first + i)] = 1;
    return m;
  }

  static inline std::unique_ptr<PostgresServer> server_;
  static inline std::string startError_;
  static inline int databases_ = 0;
  std::string folder_;
  std::string db_;
  std::vector<std::unique_ptr<sim::DeviceEmulator>> emulators_;
  std::vector<std::string> targets_;
};

// ---- Rows whole and correct ---------------------------------------------------------

TEST_F(ProductionDatabase, SeveralBoardsAtOnceGiveOneWholeCorrectRowEach) {
  boards(6, 7001);
  boards(1, 7100, 7058);  // another type: the set-up refuses it
  const auto before = std::chrono::system_clock::now();
  const RunResult r = setup(0, SIZE_MAX, {"--station", "line-2 bench 'A'", "--operator", "Zoë"});
  EXPECT_EQ(r.exit, 1) << r.err;  // the worst board: the refused type
  EXPECT_EQ(r.err.find(PostgresServer::kPassword), std::string::npos) << r.err;

  const SqlResult rows = sql(
      "SELECT serial, type, version, station, operator, result, failure, user_text,"
      " program_version, address, extract(epoch from time)::bigint FROM vexil_setup ORDER BY serial");
  ASSERT_TRUE(rows.ok) << rows.error;
  ASSERT_EQ(rows.rows.size(), 7u);
  const auto now = std::chrono::system_clock::now();
  for (std::size_t i = 0; i < rows.rows.size(); ++i) {
    const auto& row = rows.rows[i];
    SCOPED_TRACE(row[0].value_or("null"));
    EXPECT_EQ(row[2], "1.05");
    EXPECT_EQ(row[3], "line-2 bench 'A'");
    EXPECT_EQ(row[4], "Zoë");
    EXPECT_EQ(row[8], "1.00");
    EXPECT_EQ(row[9], targets_[i]);
    const auto at = std::chrono::system_clock::time_point(std::chrono::seconds(std::stoll(*row[10])));
    EXPECT_GE(at, std::chrono::time_point_cast<std::chrono::seconds>(before) - 1s);
    EXPECT_LE(at, now + 1s);
    if (i < 6) {
      EXPECT_EQ(row[0], std::to_string(7001 + i));
      EXPECT_EQ(row[1], "7163");
      EXPECT_EQ(row[5], "ok");
      EXPECT_EQ(row[6], "");
      EXPECT_EQ(row[7], "Marovantis Ltd.");
    } else {
      EXPECT_EQ(row[0], "7100");
      EXPECT_EQ(row[1], "7058");
      EXPECT_EQ(row[5], "rejected");
      EXPECT_NE(row[6].value_or("").find("Error"), std::string::npos) << row[6].value_or("");
      EXPECT_FALSE(row[7]) << "nothing was written to a board of another type";
    }
  }
  EXPECT_EQ(sql("SELECT version FROM vexil_schema").rows.at(0).at(0), std::to_string(records::kSchemaVersion));
  EXPECT_EQ(sql("SELECT count(DISTINCT xmin::text) FROM vexil_setup").rows.at(0).at(0), "7")
      << "one transaction per row";
  EXPECT_EQ(waitingInJournal(), 0u);
  EXPECT_EQ(readFile(journal()), "") << "a journal whose rows all went is emptied";
}

TEST_F(ProductionDatabase, StationsStartingTogetherOnANewDatabaseShareOneSchema) {
  boards(8, 7200);
  std::vector<std::unique_ptr<Vexilctl>> stations;
  for (std::size_t s = 0; s < 4; ++s) {
    Args args = deviceArgs(s * 2, s * 2 + 2);
    args.insert(args.end(), {"setup", "--log", uri(), "--journal",
                             folder_ + "/journal-" + std::to_string(s) + ".jsonl", "--station",
                             "station-" + std::to_string(s)});
    stations.push_back(std::make_unique<Vexilctl>(args, env(), folder_));
  }
  for (auto& s : stations) {
    const RunResult r = s->wait();
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(r.err, "");
  }
  EXPECT_EQ(rowsBySerial(), expectedOnce(7200, 8));
  EXPECT_EQ(sql("SELECT count(DISTINCT station) FROM vexil_setup").rows.at(0).at(0), "4");
}

// ---- Nothing lost, nothing doubled ----------------------------------------------------

TEST_F(ProductionDatabase, AServerStoppedAndStartedInTheMiddleOfARunGetsEveryRowOnce) {
  boards(12, 7300);
  for (auto& e : emulators_) {
    sim::Faults f;
    f.delay = 250ms;  // each board takes half a second: the run outlasts the restart
    e->setFaults(f);
  }
  Args args = deviceArgs();
  args.insert(args.end(), {"--jobs", "2", "setup", "--log", uri(), "--journal", journal()});
  Vexilctl running(args, env(), folder_);
  std::this_thread::sleep_for(300ms);
  ASSERT_TRUE(server_->stop()) << server_->error();
  std::this_thread::sleep_for(400ms);
  ASSERT_TRUE(server_->start()) << server_->error();
  const RunResult r = running.wait();
  EXPECT_EQ(r.exit, 0) << r.err;
  // The rows of the boards done while it was away went when it answered again, within
  // the same run.
  EXPECT_EQ(rowsBySerial(), expectedOnce(7300, 12)) << r.err;
  EXPECT_EQ(waitingInJournal(), 0u);
}

TEST_F(ProductionDatabase, RowsOfARunWithoutTheServerGoFirstWhenItAnswers) {
  boards(5, 7400);
  ASSERT_TRUE(server_->stop());
  const RunResult away = setup(0, 3);
  EXPECT_EQ(away.exit, 0) << "the boards were set up; their rows wait: " << away.err;
  EXPECT_NE(away.err.find("3 records wait"), std::string::npos) << away.err;
  // The command it gives names this run's journal, which is not the default one.
  EXPECT_NE(away.err.find("log flush --log '"), std::string::npos) << away.err;
  EXPECT_NE(away.err.find("--journal '" + journal() + "' sends them"), std::string::npos) << away.err;
  EXPECT_EQ(away.err.find(PostgresServer::kPassword), std::string::npos) << away.err;
  EXPECT_EQ(away.out.find(PostgresServer::kPassword), std::string::npos);

  const RunResult status = run({"log", "status", "--journal", journal(), "--json"});
  EXPECT_EQ(status.exit, 0);
  EXPECT_NE(status.out.find("\"waiting\":3"), std::string::npos) << status.out;

  ASSERT_TRUE(server_->start());
  const RunResult next = setup(3, 5);
  EXPECT_EQ(next.exit, 0) << next.err;
  EXPECT_EQ(rowsBySerial(), expectedOnce(7400, 5));
  // The rows that waited went first: each row is a transaction of its own, and theirs
  // are the older transactions.
  const SqlResult order = sql(
      "SELECT max(xmin::text::bigint) FILTER (WHERE serial < 7403) <"
      " min(xmin::text::bigint) FILTER (WHERE serial >= 7403),"
      " count(DISTINCT xmin::text) FROM vexil_setup");
  ASSERT_TRUE(order.ok) << order.error;
  EXPECT_EQ(order.rows.at(0).at(0), "t");
  EXPECT_EQ(order.rows.at(0).at(1), "5") << "one transaction per row";
  EXPECT_EQ(run({"log", "status", "--journal", journal()}).out.find("0 records wait"), 0u);
}

records::SetupRecord journalRecord(std::int32_t serial) {
  records::SetupRecord r;
  r.id = records::newRecordId();
  r.time = records::utcTimeText(std::chrono::system_clock::now());
  r.station = "flush-test";
  r.address = "127.0.0.1:56789";
  r.type = 7163;
  r.version = "1.05";
  r.serial = serial;
  r.userText = "Marovantis Ltd.";
  r.result = "ok";
  r.programVersion = "1.00";
  return r;
}

TEST_F(ProductionDatabase, AFlushKilledHalfWayLosesNothingAndDoublesNothing) {
  constexpr int kRows = 10000;
  {
    records::Journal j(journal());
    std::string error;
    ASSERT_TRUE(j.open(error)) << error;
    std::string lines;
    for (int i = 0; i < kRows; ++i) lines += records::recordJsonLine(journalRecord(100000 + i));
    std::ofstream(journal(), std::ios::binary | std::ios::app) << lines;
  }
  // The schema first, so that the flush spends its time on rows.
  records::Database schema(uri());
  std::string error;
  ASSERT_EQ(schema.connect(error), records::Connection::Ready) << error;

  Vexilctl flush({"log", "flush", "--log", uri(), "--journal", journal()}, env(), folder_);
  int atKill = 0;
  for (int i = 0; i < 4000; ++i) {
    const SqlResult n = sql("SELECT count(*) FROM vexil_setup");
    atKill = n.ok ? std::stoi(n.rows.at(0).at(0).value_or("0")) : 0;
    if (atKill > 0) break;
    std::this_thread::sleep_for(1ms);
  }
  flush.kill();
  flush.wait();
  RecordProperty("rows_in_the_database_when_killed", atKill);
  ASSERT_GT(atKill, 0) << "the flush never reached the database";
  ASSERT_LT(atKill, kRows) << "the flush ended before the kill: nothing was tested";

  // The journal as the kill left it: what was sent and not marked goes again.
  const RunResult again = run({"log", "flush", "--log", uri(), "--journal", journal()});
  EXPECT_EQ(again.exit, 0) << again.err;
  EXPECT_EQ(waitingInJournal(), 0u);

  const SqlResult counts = sql("SELECT count(*), count(DISTINCT id), count(DISTINCT serial) FROM vexil_setup");
  ASSERT_TRUE(counts.ok) << counts.error;
  EXPECT_EQ(counts.rows.at(0).at(0), std::to_string(kRows));
  EXPECT_EQ(counts.rows.at(0).at(1), std::to_string(kRows));
  EXPECT_EQ(counts.rows.at(0).at(2), std::to_string(kRows));
}

TEST_F(ProductionDatabase, RowsSentButNotMarkedAreSentAgainWithoutADouble) {
  boards(3, 7500);
  ASSERT_TRUE(server_->stop());
  ASSERT_EQ(setup(0, 3).exit, 0);
  const std::string waiting = readFile(journal());
  ASSERT_TRUE(server_->start());
  ASSERT_EQ(run({"log", "flush", "--log", uri(), "--journal", journal()}).exit, 0);
  // As if vexilctl had died after the commit and before the marks: the rows wait again.
  std::ofstream(journal(), std::ios::binary | std::ios::trunc) << waiting;
  std::ofstream(journal() + ".sent", std::ios::binary | std::ios::trunc) << "";
  const RunResult replay = run({"log", "flush", "--log", uri(), "--journal", journal()});
  EXPECT_EQ(replay.exit, 0) << replay.err;
  EXPECT_EQ(rowsBySerial(), expectedOnce(7500, 3));
  EXPECT_EQ(waitingInJournal(), 0u);
}

TEST_F(ProductionDatabase, AServerThatHangsNeitherHangsTheStationNorLosesARow) {
  constexpr int kRows = 1000;
  std::string firstId;
  {
    records::Journal j(journal());
    std::string error;
    ASSERT_TRUE(j.open(error)) << error;
    std::string lines;
    for (int i = 0; i < kRows; ++i) {
      const records::SetupRecord r = journalRecord(200000 + i);
      if (i == 0) firstId = r.id;
      lines += records::recordJsonLine(r);
    }
    std::ofstream(journal(), std::ios::binary | std::ios::app) << lines;
  }
  records::Database schema(uri());
  std::string error;
  ASSERT_EQ(schema.connect(error), records::Connection::Ready) << error;
  schema.disconnect();

  // Another session holds the first row's key in a transaction it has not ended: the
  // flush's INSERT of that row waits on it. So the flush is surely under way, and stuck
  // on an answer, when the server is frozen; the kernel still takes what is sent.
  std::unique_ptr<PGconn, decltype(&PQfinish)> holder(PQconnectdb(uri().c_str()), &PQfinish);
  ASSERT_EQ(PQstatus(holder.get()), CONNECTION_OK) << PQerrorMessage(holder.get());
  const auto holderExec = [&](const std::string& text) {
    PGresult* r = PQexec(holder.get(), text.c_str());
    const bool ok = PQresultStatus(r) == PGRES_COMMAND_OK;
    PQclear(r);
    return ok;
  };
  ASSERT_TRUE(holderExec("BEGIN"));
  ASSERT_TRUE(holderExec("INSERT INTO vexil_setup (id, time, station, address, result, "
                         "program_version) VALUES ('" + firstId +
                         "', now(), 'holder', '-', 'ok', '-')"))
      << PQerrorMessage(holder.get());

  Vexilctl flush({"log", "flush", "--log", uri(), "--journal", journal()}, env(), folder_);
  bool waiting = false;
  for (int i = 0; i < 400 && !waiting; ++i) {
    waiting = sql("SELECT count(*) FROM pg_stat_activity WHERE wait_event_type = 'Lock'")
                  .rows.at(0).at(0) != "0";
    if (!waiting) std::this_thread::sleep_for(50ms);
  }
  ASSERT_TRUE(waiting) << "the flush never reached the held row";
  server_->freeze(true);
  const auto frozenAt = std::chrono::steady_clock::now();
  const RunResult hung = flush.wait();
  const auto waited = std::chrono::steady_clock::now() - frozenAt;
  server_->freeze(false);
  ASSERT_TRUE(holderExec("ROLLBACK"));
  holder.reset();
  EXPECT_EQ(hung.exit, 1) << hung.err;
  // The answer time (10 s), then one more connection attempt (5 s) before giving up.
  EXPECT_NE(hung.err.find("not sent"), std::string::npos) << hung.err;
  EXPECT_LT(waited, 25s) << "the station waited for a server that did not answer";

  // A new run with the server frozen from the start gives up on the connection too,
  // after one attempt: the end of the run does not try again at once after an attempt
  // that has just waited out its time-out. The boards do not wait for the server.
  server_->freeze(true);
  boards(3, 7980);
  for (auto& e : emulators_) {
    sim::Faults f;
    f.delay = 700ms;
    e->setFaults(f);
  }
  const auto started = std::chrono::steady_clock::now();
  Args oneByOne = deviceArgs(emulators_.size() - 3);
  oneByOne.insert(oneByOne.end(), {"--jobs", "1", "setup", "--log", uri(), "--journal", journal()});
  const RunResult frozen = run(oneByOne);
  const auto took = std::chrono::steady_clock::now() - started;
  server_->freeze(false);
  EXPECT_EQ(frozen.exit, 0) << frozen.err;
  EXPECT_NE(frozen.err.find(std::to_string(kRows + 3) + " records wait"), std::string::npos)
      << frozen.err;
  // Three boards of about 1.4 s one after the other, beside one connection time-out of 5 s.
  EXPECT_LT(took, 9s) << "the boards or the run waited on the frozen server";
  EXPECT_NE(frozen.err.find("wait"), std::string::npos) << frozen.err;

  const RunResult again = run({"log", "flush", "--log", uri(), "--journal", journal()});
  EXPECT_EQ(again.exit, 0) << again.err;
  const SqlResult counts = sql("SELECT count(*), count(DISTINCT id) FROM vexil_setup");
  EXPECT_EQ(counts.rows.at(0).at(0), std::to_string(kRows + 3));
  EXPECT_EQ(counts.rows.at(0).at(1), std::to_string(kRows + 3));
}

// ---- The schema ---------------------------------------------------------------------

TEST_F(ProductionDatabase, AnOlderSchemaIsMigratedKeepingItsRows) {
  {
    records::Database old(uri());
    std::string error;
    ASSERT_EQ(old.connectOnly(error), records::Connection::Ready) << error;
    ASSERT_TRUE(old.migrateTo(1, error)) << error;
    ASSERT_EQ(old.schemaVersion(error), 1);
    const records::Database::Written w = old.insert({journalRecord(4242)});
    ASSERT_EQ(w.answered, 1u) << w.error;
    ASSERT_TRUE(w.taken[0]) << w.error;
  }
  boards(1, 7600);
  const RunResult r = setup(0, 1);
  EXPECT_EQ(r.exit, 0) << r.err;
  EXPECT_EQ(sql("SELECT version FROM vexil_schema").rows.at(0).at(0), std::to_string(records::kSchemaVersion));
  EXPECT_EQ(sql("SELECT count(*) FROM pg_indexes WHERE indexname = 'vexil_setup_serial'").rows.at(0).at(0), "1");
  EXPECT_EQ(rowsBySerial(), (std::map<std::string, int>{{"4242", 1}, {"7600", 1}}));
}

TEST_F(ProductionDatabase, ANewerSchemaIsRefusedAndItsRowsWaitForANewerProgram) {
  records::Database db(uri());
  std::string error;
  ASSERT_EQ(db.connect(error), records::Connection::Ready) << error;
  ASSERT_TRUE(sql("UPDATE vexil_schema SET version = " + std::to_string(records::kSchemaVersion + 1)).ok);
  boards(2, 7700);
  const RunResult r = setup(0, 2);
  EXPECT_EQ(r.exit, 2) << "a setting to mend, not an outage";
  EXPECT_NE(r.err.find("newer"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("version " + std::to_string(records::kSchemaVersion + 1)), std::string::npos) << r.err;
  EXPECT_EQ(sql("SELECT count(*) FROM vexil_setup").rows.at(0).at(0), "0") << "no row in the wrong columns";
  EXPECT_EQ(waitingInJournal(), 2u) << "the rows are kept for a program that knows the schema";
  const RunResult flush = run({"log", "flush", "--log", uri(), "--journal", journal()});
  EXPECT_EQ(flush.exit, 2);
  EXPECT_NE(flush.err.find("refuses"), std::string::npos) << flush.err;
}

TEST_F(ProductionDatabase, ATableThisProgramDidNotMakeIsLeftAlone) {
  ASSERT_TRUE(sql("CREATE TABLE vexil_setup (x integer)").ok);
  boards(1, 7750);
  const RunResult r = setup(0, 1);
  EXPECT_EQ(r.exit, 2);
  EXPECT_NE(r.err.find("not one this program made"), std::string::npos) << r.err;
  EXPECT_EQ(waitingInJournal(), 1u);
  EXPECT_EQ(sql("SELECT count(*) FROM information_schema.columns WHERE table_name = 'vexil_setup'")
                .rows.at(0).at(0), "1");
}

// ---- Who may write, and how the password travels --------------------------------------

TEST_F(ProductionDatabase, ARoleThatMayOnlyInsertAndReadWritesAndReadsButCreatesNothing) {
  const std::string role = "station_" + db_;
  ASSERT_TRUE(sql("CREATE ROLE " + role + " LOGIN PASSWORD 'st-pw'").ok);
  const std::string stationUri = server_->uri(db_, true, role, "st-pw");
  boards(2, 7800);
  // On a new database the role cannot create the tables: refused, and the row waits.
  RunResult r = run({"--device", targets_[0], "setup", "--log", stationUri, "--journal", journal()});
  EXPECT_EQ(r.exit, 2);
  EXPECT_EQ(waitingInJournal(), 1u);
  EXPECT_NE(r.err.find("cannot bring the production schema"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("st-pw"), std::string::npos) << r.err;

  records::Database owner(uri());
  std::string error;
  ASSERT_EQ(owner.connect(error), records::Connection::Ready) << error;
  // A role that may read but not insert: every row is refused, which no retry mends.
  // The run says so with exit 2, as for a schema it cannot use, and the rows wait.
  ASSERT_TRUE(sql("GRANT SELECT ON vexil_schema, vexil_setup TO " + role).ok);
  r = run({"--device", targets_[1], "setup", "--log", stationUri, "--journal", journal()});
  EXPECT_EQ(r.exit, 2) << r.err;
  EXPECT_NE(r.err.find("refuses the records"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("permission denied"), std::string::npos) << r.err;
  EXPECT_EQ(waitingInJournal(), 2u);
  const RunResult flushed = run({"log", "flush", "--log", stationUri, "--journal", journal()});
  EXPECT_EQ(flushed.exit, 2) << flushed.err;
  EXPECT_EQ(waitingInJournal(), 2u);

  ASSERT_TRUE(sql("GRANT INSERT ON vexil_setup TO " + role).ok);
  r = run({"--device", targets_[0], "--device", targets_[1], "setup", "--log", stationUri, "--journal", journal()});
  EXPECT_EQ(r.exit, 0) << r.err;
  // The rows of the refused runs went first, then the two new ones.
  EXPECT_EQ(rowsBySerial(), (std::map<std::string, int>{{"7800", 2}, {"7801", 2}}));
  const RunResult q = run({"log", "query", "--log", stationUri, "--serial", "7801"});
  EXPECT_EQ(q.exit, 0) << q.err;
  EXPECT_NE(q.out.find("7801"), std::string::npos) << q.out;
}

TEST_F(ProductionDatabase, ThePasswordComesFromThePassFileAndIsNeverShown) {
  const std::string passfile = folder_ + "/pgpass";
  std::ofstream(passfile) << "127.0.0.1:" << server_->port() << ":" << db_ << ":"
                          << PostgresServer::kSuperuser << ":" << PostgresServer::kPassword << "\n";
  ::chmod(passfile.c_str(), 0600);
  boards(1, 7900);
  RunResult r = run({"--device", targets_[0], "setup", "--log", uri(false), "--journal", journal()},
              {{"PGPASSFILE", passfile}});
  EXPECT_EQ(r.exit, 0) << r.err;
  EXPECT_EQ(rowsBySerial(), expectedOnce(7900, 1));

  // A wrong password: the rows wait, and the password typed shows nowhere.
  const std::string wrong = server_->uri(db_, true, PostgresServer::kSuperuser, "Wr0ngPa55");
  r = run({"--device", targets_[0], "setup", "--log", wrong, "--journal", journal()});
  EXPECT_EQ(r.exit, 0) << r.err;
  EXPECT_NE(r.err.find("1 record waits"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("Wr0ngPa55"), std::string::npos) << r.err;
  EXPECT_EQ(r.out.find("Wr0ngPa55"), std::string::npos) << r.out;
  EXPECT_NE(r.err.find("authentication"), std::string::npos) << r.err;
}

TEST_F(ProductionDatabase, SslModeIsPassedThroughToTheConnection) {
  boards(1, 7950);
  // This server offers no TLS: a connection that requires it is not made.
  const RunResult r = run({"--device", targets_[0], "setup", "--log", uri() + "?sslmode=require", "--journal", journal()});
  EXPECT_EQ(r.exit, 0) << r.err;
  EXPECT_NE(r.err.find("SSL"), std::string::npos) << r.err;
  EXPECT_EQ(waitingInJournal(), 1u);
  EXPECT_EQ(sql("SELECT count(*) FROM pg_tables WHERE tablename = 'vexil_setup'").rows.at(0).at(0), "0");
}

// ---- Reading it back ----------------------------------------------------------------

TEST_F(ProductionDatabase, QueryFiltersBySerialTimeStationAndResult) {
  records::Database db(uri());
  std::string error;
  ASSERT_EQ(db.connect(error), records::Connection::Ready) << error;
  std::vector<records::SetupRecord> rows;
  const auto add = [&](std::int32_t serial, const char* time, const char* station, const char* result) {
    records::SetupRecord r = journalRecord(serial);
    r.time = time;
    r.station = station;
    r.result = result;
    rows.push_back(r);
  };
  add(5000, "2026-12-08T23:59:59.999Z", "line-1", "ok");
  add(5000, "2026-12-09T00:00:00.000Z", "line-2", "rejected");
  add(5001, "2026-12-09T08:00:00.000Z", "line-2", "ok");
  add(5002, "2026-12-09T09:00:00.000Z", "x'); DROP TABLE vexil_setup; --", "no-answer");
  const records::Database::Written w = db.insert(rows);
  ASSERT_EQ(w.answered, rows.size()) << w.error;
  for (const bool taken : w.taken) ASSERT_TRUE(taken) << w.error;

  const auto serials = [&](Args filters) {
    Args args = {"log", "query", "--log", uri(), "--json"};
    args.insert(args.end(), filters.begin(), filters.end());
    const RunResult r = run(args);
    EXPECT_EQ(r.exit, 0) << r.err;
    std::vector<std::string> found;
    std::istringstream in(r.out);
    for (std::string line; std::getline(in, line);) {
      std::string e;
      const auto m = records::parseFlatObject(line, e);
      EXPECT_TRUE(m) << e << ": " << line;
      if (m) found.push_back(std::to_string(*m->at("serial").integer) + "@" + *m->at("station").text);
    }
    return found;
  };
  EXPECT_EQ(serials({}).size(), 4u);
  EXPECT_EQ(serials({"--serial", "5000"}), (std::vector<std::string>{"5000@line-1", "5000@line-2"}));
  EXPECT_EQ(serials({"--since", "2026-12-09"}).size(), 3u);
  EXPECT_EQ(serials({"--since", "2026-12-09T01:00+01:00"}).size(), 3u);
  EXPECT_EQ(serials({"--station", "line-2", "--result", "ok"}), (std::vector<std::string>{"5001@line-2"}));
  EXPECT_EQ(serials({"--station", "x'); DROP TABLE vexil_setup; --"}),
            (std::vector<std::string>{"5002@x'); DROP TABLE vexil_setup; --"}));
  EXPECT_EQ(serials({"--serial", "5003"}).size(), 0u);

  const RunResult table = run({"log", "query", "--log", uri(), "--serial", "5001"});
  EXPECT_EQ(table.exit, 0);
  EXPECT_NE(table.out.find("2026-12-09T08:00:00.000Z"), std::string::npos) << table.out;

  ASSERT_TRUE(server_->stop());
  const RunResult away = run({"log", "query", "--log", uri()});
  EXPECT_EQ(away.exit, 1);
  EXPECT_NE(away.err.find("cannot be reached"), std::string::npos) << away.err;
  ASSERT_TRUE(server_->start());
}

}  // namespace
