// The production database: one libpq connection to PostgreSQL, the schema the program
// creates and evolves (a version table beside the records' table), rows written with
// bound parameters and a unique key, and the questions of `vexilctl log query`.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "records/RecordFilter.h"
#include "records/SetupRecord.h"

namespace vexil::records {

/// The schema this program writes. Version 1: the records' table; version 2: the
/// indexes that serial and time questions use.
inline constexpr int kSchemaVersion = 2;

/// How a connection attempt ended.
enum class Connection {
  Ready,        // connected, the schema is this program's
  Unreachable,  // no server answered, or it refused the connection: records wait
  Refused,      // the server answered but the records cannot go there (a newer schema,
                // tables the role may not create): a setting to mend, not an outage
};

class Database {
 public:
  /// `uri`: a libpq connection URI or key=value string, passed through (sslmode too).
  explicit Database(std::string uri);
  ~Database();
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  /// Connects and brings the schema to this program's version (creating or migrating it
  /// in one transaction), or refuses a newer one. `error` says why when not Ready.
  Connection connect(std::string& error);
  /// Connects without touching the schema, for reading and for the tests.
  Connection connectOnly(std::string& error);
  bool connected() const;
  /// Drops the connection (after a failure, so that the next attempt starts afresh).
  void disconnect();

  /// What became of the records given to insert().
  struct Written {
    std::size_t answered = 0;  // the first `answered` records have a definite outcome
    std::vector<bool> taken;   // of those: in the database now (a replayed key counts)
    bool lost = false;         // the connection went; the rest have no outcome
    std::string error;         // the last refusal, or why the connection went
    bool refused = false;      // a row was refused for a reason that does not pass by
                               // itself (no right to insert, a read-only server)
  };
  /// Writes the records, each in a transaction of its own, so that each is whole or
  /// absent; a key already present is skipped (a replay). They go to the server in one
  /// pipeline, so many rows cost about one round trip and the server's commits follow
  /// each other without waiting for this program.
  Written insert(const std::vector<SetupRecord>& records);

  /// The rows the filter keeps, oldest first.
  std::optional<std::vector<SetupRecord>> query(const RecordFilter& filter, std::string& error);

  /// The schema version the database holds (0: none), or nothing on failure.
  std::optional<int> schemaVersion(std::string& error);
  /// Brings an older schema to `version` (at most kSchemaVersion) in one transaction.
  bool migrateTo(int version, std::string& error);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

/// The connection string fit to show: a URI's password left out ("postgresql://u@h/db"),
/// a key=value string's "password=..." too.
std::string displayDestination(const std::string& uri);

/// A file name for the destination's journal: its user, host, port and database, with
/// every character outside [A-Za-z0-9._-] made '_' ("vexil@127.0.0.1_5432_production").
std::string destinationKey(const std::string& uri);

/// True for a text libpq reads as a connection URI ("postgresql://", "postgres://").
bool isDatabaseUri(const std::string& text);

/// Nothing when libpq can read `uri`; otherwise why not (an unknown parameter, a bad
/// port), with any password left out.
std::optional<std::string> connectionStringProblem(const std::string& uri);

}  // namespace vexil::records
