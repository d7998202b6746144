// The production database in a build without PostgreSQL's client library (the Windows
// build: Debian ships no libpq for MinGW). Every command line that names a database is
// refused where it is read, with the reason, as a usage error (exit 2); nothing below
// connects or pretends to have written a record.
#include "records/Database.h"

namespace vexil::records {

namespace {

constexpr char kUnavailable[] =
    "the production database needs PostgreSQL's client library (libpq), which this build "
    "does not include; log to a file (--log FILE) or run the Linux build for a database log";

}  // namespace

struct Database::Impl {};

Database::Database(std::string) {}
Database::~Database() = default;

Connection Database::connect(std::string& error) {
  error = kUnavailable;
  return Connection::Refused;
}

Connection Database::connectOnly(std::string& error) { return connect(error); }

bool Database::connected() const { return false; }

void Database::disconnect() {}

Database::Written Database::insert(const std::vector<SetupRecord>&) {
  Written w;
  w.lost = true;
  w.refused = true;
  w.error = kUnavailable;
  return w;
}

std::optional<std::vector<SetupRecord>> Database::query(const RecordFilter&, std::string& error) {
  error = kUnavailable;
  return std::nullopt;
}

std::optional<int> Database::schemaVersion(std::string& error) {
  error = kUnavailable;
  return std::nullopt;
}

bool Database::migrateTo(int, std::string& error) {
  error = kUnavailable;
  return false;
}

bool isDatabaseUri(const std::string& text) {
  return text.rfind("postgresql://", 0) == 0 || text.rfind("postgres://", 0) == 0;
}

std::optional<std::string> connectionStringProblem(const std::string&) { return std::string(kUnavailable); }

// Never shown with a connection string's secrets: no string gets this far.
std::string displayDestination(const std::string&) { return "the production database"; }

std::string destinationKey(const std::string&) { return "unavailable"; }

}  // namespace vexil::records
