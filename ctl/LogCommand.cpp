#include "ctl/LogCommand.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <ostream>

#include "ctl/DeviceRun.h"
#include "records/Database.h"
#include "records/DatabaseLog.h"
#include "records/FlatJson.h"
#include "records/Journal.h"

namespace vexil::ctl {
namespace {

constexpr char kName[] = "vexilctl: ";
constexpr char kJournalPrefix[] = "journal-";
constexpr char kJournalSuffix[] = ".jsonl";

std::string journalOf(const DatabaseOptions& d) {
  return d.journal.empty() ? records::defaultJournalPath(d.uri) : d.journal;
}

std::string plural(std::size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// The journals `log status` counts: the one named, or every one in the default folder.
std::vector<std::string> journalsToCount(const LogCommandOptions& l) {
  if (l.journal) return {*l.journal};
  if (l.database) return {journalOf(*l.database)};
  std::vector<std::string> found;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(records::defaultJournalFolder(), ec)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(kJournalPrefix, 0) == 0 && name.size() > std::strlen(kJournalSuffix) &&
        name.compare(name.size() - std::strlen(kJournalSuffix), std::string::npos, kJournalSuffix) == 0) {
      found.push_back(entry.path().string());
    }
  }
  std::sort(found.begin(), found.end());
  return found;
}

int status(const Invocation& inv, std::ostream& out, std::ostream& err) {
  const std::vector<std::string> journals = journalsToCount(inv.logCommand);
  if (journals.empty() && !inv.json) out << "0 records wait (no journal in " << records::defaultJournalFolder() << ")\n";
  int exit = kExitAcknowledged;
  for (const std::string& path : journals) {
    records::JournalContents contents;
    std::error_code ec;
    if (std::filesystem::exists(path, ec)) {
      records::Journal journal(path);
      std::string error;
      if (!journal.open(error) || !journal.read(contents, error)) {
        err << kName << error << "\n";
        exit = kExitUsage;
        continue;
      }
    }
    if (inv.json) {
      out << "{\"journal\":" << records::jsonQuoted(path) << ",\"waiting\":" << contents.waiting.size()
          << ",\"sent\":" << contents.sent << ",\"damaged\":" << contents.damaged << "}\n";
    } else {
      out << plural(contents.waiting.size(), "record waits", "records wait") << " in " << path;
      if (contents.damaged) out << " (" << plural(contents.damaged, "damaged line", "damaged lines") << " kept)";
      out << "\n";
    }
  }
  return exit;
}

int flush(const Invocation& inv, std::ostream& out, std::ostream& err) {
  const DatabaseOptions& d = *inv.logCommand.database;
  records::DatabaseLog log(d.uri, journalOf(d));
  std::string error, notice;
  if (!log.open(error, notice)) {
    err << kName << error << "\n";
    return kExitUsage;
  }
  if (!notice.empty()) err << kName << notice << "\n";
  std::string why;
  const std::size_t waiting = log.sendWaiting(why);
  std::string compactError;
  if (waiting == 0 && !log.compact(compactError)) err << kName << compactError << "\n";
  if (inv.json) {
    out << "{\"destination\":" << records::jsonQuoted(log.destination())
        << ",\"journal\":" << records::jsonQuoted(log.journalPath()) << ",\"sent\":" << log.sent()
        << ",\"waiting\":" << waiting << "}\n";
  } else {
    out << "sent " << plural(log.sent(), "record", "records") << " to " << log.destination() << "; "
        << plural(waiting, "record waits", "records wait") << " in " << log.journalPath() << "\n";
  }
  if (waiting != 0) {
    const bool refused = log.refused();
    err << kName << plural(waiting, "record", "records") << " not sent: "
        << (refused ? "the production database " + log.destination() + " refuses the records: " : "")
        << why << "\n";
    return refused ? kExitUsage : kExitNotAcknowledged;
  }
  return kExitAcknowledged;
}

int query(const Invocation& inv, std::ostream& out, std::ostream& err) {
  const LogCommandOptions& l = inv.logCommand;
  std::optional<std::vector<records::SetupRecord>> rows;
  std::string error;
  if (l.file) {
    rows = records::readFileLog(*l.file, l.filter, error);
    if (!rows) {
      err << kName << error << "\n";
      return kExitUsage;
    }
  } else {
    records::Database db(l.database->uri);
    if (db.connectOnly(error) != records::Connection::Ready) {
      err << kName << "the production database " << records::displayDestination(l.database->uri)
          << " cannot be reached: " << error << "\n";
      return kExitNotAcknowledged;
    }
    rows = db.query(l.filter, error);
    if (!rows) {
      err << kName << "the production database " << records::displayDestination(l.database->uri)
          << " did not answer the query: " << error << "\n";
      return kExitUsage;
    }
  }
  if (inv.json) {
    for (const records::SetupRecord& r : *rows) out << records::recordJsonLine(r);
  } else {
    out << records::recordTable(*rows);
  }
  return kExitAcknowledged;
}

}  // namespace

int runLogCommand(const Invocation& inv, std::ostream& out, std::ostream& err) {
  switch (inv.logCommand.action) {
    case LogAction::Flush:
      return flush(inv, out, err);
    case LogAction::Status:
      return status(inv, out, err);
    case LogAction::Query:
      return query(inv, out, err);
  }
  return kExitUsage;
}

}  // namespace vexil::ctl
